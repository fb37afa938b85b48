// VXI-11 instruments, "TCPIP[board]::host[::device]::INSTR" (device "inst0" when omitted): the
// portmapper gives the core channel's port, a link is created on it for the device, and every
// VISA operation becomes one or more core calls. A call the server does not answer within its
// time-out is aborted over the abort channel, so that the link stays usable.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_VXI11_VXI11_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_VXI11_VXI11_H

#include <memory>
#include <string>
#include <vector>

#include "visa/transport.h"
#include "visa/transports/vxi11/interrupt_server.h"
#include "visa/transports/vxi11/rpc_channel.h"
#include "visa/wire/vxi11.h"

namespace zr48::visa {

struct OpenRequest;
struct ResourceName;

// The transport table's entries for VXI-11.
ViStatus accepts_vxi11(const ResourceName& name);
ViStatus open_vxi11(const OpenRequest& request, std::unique_ptr<Transport>& out);

// The VISA status for a VXI-11 error code.
ViStatus vxi11_status(std::int32_t error);

class Vxi11Transport final : public Transport {
 public:
  Vxi11Transport(std::unique_ptr<RpcChannel> core, std::string device,
                 const wire::vxi11::CreateLinkResp& link);

  ViStatus send(const ViByte* data, std::size_t size, bool end, const Deadline& deadline,
                std::size_t& sent) override;
  ViStatus receive(ViByte* data, std::size_t capacity, const ReadTermination& termination,
                   const Deadline& deadline, Received& received) override;
  ViStatus discard_ready() override;
  void interrupt() override;
  void shutdown() override;
  ViStatus get_attribute(ViAttr attribute, void* value) const override;
  ViStatus set_attribute(ViAttr attribute, ViAttrState value) override;
  int native_handle() const override { return core_->socket().native_handle(); }

  ViStatus clear(const Deadline& deadline) override;
  ViStatus read_status_byte(const Deadline& deadline, ViUInt16& status) override;
  ViStatus trigger(const Deadline& deadline) override;
  ViStatus lock(LockKind kind, std::string_view key, ViUInt32 timeout_ms,
                const Deadline& deadline) override;
  ViStatus unlock(const Deadline& deadline) override;
  ViStatus control_ren(ViUInt16 mode, const Deadline& deadline) override;

  // Service requests over the interrupt channel: our DEVICE_INTR server, create_intr_chan and
  // device_enable_srq with the link id as handle.
  bool has_service_requests() const override { return true; }
  ViStatus start_service_requests(const std::function<void()>& notify,
                                  const Deadline& deadline) override;

 private:
  // One core call; a call the server leaves unanswered past `deadline` is aborted.
  template <typename Args, typename Result>
  ViStatus core_call(std::uint32_t procedure, const Args& args, Result& result,
                     const Deadline& deadline);
  ViStatus abort_call();
  ViStatus generic(std::uint32_t procedure, const Deadline& deadline);

  std::unique_ptr<RpcChannel> core_;
  std::unique_ptr<RpcChannel> abort_;            // connected when first needed
  std::unique_ptr<InterruptServer> interrupts_;  // once service requests are enabled
  std::string device_;
  std::int32_t lid_;
  ViUInt16 abort_port_;
  std::uint32_t max_write_;  // maxRecvSize, made sane
  // Bytes a server sent beyond the count asked for, kept for the next read.
  std::vector<ViByte> surplus_;
  std::size_t surplus_at_ = 0;
  ReadEnd surplus_end_ = ReadEnd::kChunk;
};

}  // namespace zr48::visa

#endif

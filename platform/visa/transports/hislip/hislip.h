// HiSLIP instruments, "TCPIP[board]::host::hislipN[,port]::INSTR" (port 4880 when omitted):
// a synchronous channel for data and an asynchronous one for status, locks and device clear,
// both on one server port. Protocol 1.0 is spoken (a 2.0 server agrees to it), in the mode the
// server prefers; in synchronized mode a reply is taken only when it answers the last message
// sent, so a reply that arrives after its read timed out is dropped.
#ifndef ZR48_PLATFORM_VISA_TRANSPORTS_HISLIP_HISLIP_H
#define ZR48_PLATFORM_VISA_TRANSPORTS_HISLIP_HISLIP_H

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "visa/transport.h"
#include "visa/transports/hislip/hislip_channel.h"

namespace zr48::visa {

struct OpenRequest;
struct ResourceName;

// The transport table's entries for HiSLIP.
ViStatus accepts_hislip(const ResourceName& name);
ViStatus open_hislip(const OpenRequest& request, std::unique_ptr<Transport>& out);

class HislipTransport final : public Transport {
 public:
  struct Settings {
    std::string sub_address;
    ViUInt16 port = 0;
    bool overlapped = false;
    std::uint64_t max_send_payload = 0;  // what the server takes, less the header
  };

  HislipTransport(std::unique_ptr<HislipChannel> sync, std::unique_ptr<HislipChannel> async,
                  Settings settings);
  // The synchronous channel closes first, so that a server finishes the messages it carried
  // before it sees the session end.
  ~HislipTransport() override;

  ViStatus send(const ViByte* data, std::size_t size, bool end, const Deadline& deadline,
                std::size_t& sent) override;
  ViStatus receive(ViByte* data, std::size_t capacity, const ReadTermination& termination,
                   const Deadline& deadline, Received& received) override;
  ViStatus discard_ready() override;
  void interrupt() override;
  void shutdown() override;
  ViStatus get_attribute(ViAttr attribute, void* value) const override;
  ViStatus set_attribute(ViAttr attribute, ViAttrState value) override;
  int native_handle() const override { return sync_->socket().native_handle(); }

  ViStatus clear(const Deadline& deadline) override;
  ViStatus read_status_byte(const Deadline& deadline, ViUInt16& status) override;
  ViStatus trigger(const Deadline& deadline) override;
  ViStatus lock(LockKind kind, std::string_view key, ViUInt32 timeout_ms,
                const Deadline& deadline) override;
  ViStatus unlock(const Deadline& deadline) override;
  ViStatus control_ren(ViUInt16 mode, const Deadline& deadline) override;

  // AsyncServiceRequest messages: a watcher thread takes them off the asynchronous channel
  // between requests; a request in progress hands on those it meets.
  bool has_service_requests() const override { return true; }
  ViStatus start_service_requests(const std::function<void()>& notify,
                                  const Deadline& deadline) override;

 private:
  void watch_service_requests();
  void stop_watching();
  // Sends a Data, DataEnd or Trigger with the next MessageID and the RMT-delivered flag.
  ViStatus send_numbered(wire::hislip::MessageType type, wire::Bytes payload,
                         const Deadline& deadline);
  // One asynchronous request and its response of type `expected`.
  ViStatus ask(const wire::hislip::Header& request, wire::Bytes payload,
               wire::hislip::MessageType expected, const Deadline& deadline,
               wire::hislip::Header& response);
  // Handles a message that is not the one awaited; a failure status ends the wait.
  ViStatus unexpected(HislipChannel& channel, const wire::hislip::Header& header);
  bool takes(const wire::hislip::Header& header) const;
  ViStatus broken() const;

  std::unique_ptr<HislipChannel> sync_;
  std::unique_ptr<HislipChannel> async_;
  std::mutex async_mutex_;        // one reader of the asynchronous channel at a time
  std::function<void()> notify_;  // guarded by async_mutex_
  std::thread watcher_;
  UniqueFd wake_;  // an eventfd that ends the watcher
  Settings settings_;
  std::uint32_t next_id_ = wire::hislip::kFirstMessageId;
  std::uint32_t last_sent_id_ = wire::hislip::kMessageIdBeforeFirst;
  std::uint32_t last_delivered_id_ = wire::hislip::kMessageIdBeforeFirst;
  bool rmt_delivered_ = false;
  // The rest of a Data/DataEnd payload the caller had no room for.
  wire::Bytes pending_;
  bool pending_end_ = false;
};

}  // namespace zr48::visa

#endif

// GPIB transport over linux-gpib. Each library call blocks for at most its T-value, set from
// the operation's deadline before the call; interrupt() makes the next call fail with
// VI_ERROR_ABORT (a call already in the library ends at its own time-out).
#include "visa/transports/gpib/gpib.h"

#include <array>
#include <atomic>
#include <charconv>
#include <climits>
#include <string_view>

#include "visa/trace.h"
#include "visa/transport_table.h"
#include "visa/transports/gpib/gpib_library.h"
#include "visa/visa.h"

namespace zr48::visa {
namespace {

constexpr unsigned kMaxAddress = 30;
constexpr int kSecondaryBase = 0x60;  // linux-gpib writes secondary address n as 0x60 + n
constexpr long kMaxTransfer = LONG_MAX;

bool parse_unsigned(std::string_view text, unsigned& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc{} && result.ptr == text.data() + text.size() && !text.empty();
}

class GpibTransport final : public Transport {
 public:
  GpibTransport(const gpib::Library& library, int ud, GpibAddress address, int timeout)
      : lib_(library), ud_(ud), address_(address), timeout_(timeout) {}
  ~GpibTransport() override { shutdown(); }

  ViStatus send(const ViByte* data, std::size_t size, bool end, const Deadline& deadline,
                std::size_t& sent) override;
  ViStatus receive(ViByte* data, std::size_t capacity, const ReadTermination& termination,
                   const Deadline& deadline, Received& received) override;
  // GPIB keeps nothing on this side: a reply waits in the device until it is read.
  ViStatus discard_ready() override { return VI_SUCCESS; }
  void interrupt() override { interrupted_ = true; }
  void shutdown() override {
    if (ud_ >= 0) lib_.ibonl(ud_, 0);
    ud_ = -1;
  }
  ViStatus get_attribute(ViAttr attribute, void* value) const override;
  ViStatus set_attribute(ViAttr attribute, ViAttrState) override {
    return attribute == VI_ATTR_GPIB_PRIMARY_ADDR || attribute == VI_ATTR_GPIB_SECONDARY_ADDR
               ? VI_ERROR_ATTR_READONLY
               : VI_ERROR_NSUP_ATTR;
  }

  ViStatus clear(const Deadline& deadline) override;
  ViStatus read_status_byte(const Deadline& deadline, ViUInt16& status) override;
  ViStatus trigger(const Deadline& deadline) override;
  ViStatus control_ren(ViUInt16 mode, const Deadline& deadline) override;

 private:
  // VI_SUCCESS, or the VISA status for the ibsta a call returned.
  ViStatus checked(int ibsta) const {
    return (ibsta & gpib::kErr) == 0 ? VI_SUCCESS : gpib::status_from(ibsta, lib_.thread_iberr());
  }
  // Ready for a call bounded by `deadline`: not interrupted, the time-out set.
  ViStatus prepare(const Deadline& deadline);
  std::array<gpib::Addr4882, 2> address_list() const {
    const unsigned sad =
        address_.secondary == VI_NO_SEC_ADDR ? 0 : kSecondaryBase + address_.secondary;
    return {static_cast<gpib::Addr4882>(address_.primary | (sad << 8)), gpib::kNoAddr};
  }

  const gpib::Library& lib_;
  int ud_;
  GpibAddress address_;
  int timeout_;  // T-value the descriptor has
  int eot_ = 1;  // EOI with the last byte written
  int eos_ = 0;  // eos mode the descriptor has
  std::atomic<bool> interrupted_{false};
};

ViStatus GpibTransport::prepare(const Deadline& deadline) {
  if (interrupted_) return VI_ERROR_ABORT;
  if (ud_ < 0) return VI_ERROR_CONN_LOST;
  const int wanted = gpib::t_value(deadline.poll_timeout());
  if (wanted != timeout_) {
    const ViStatus status = checked(lib_.ibtmo(ud_, wanted));
    if (status != VI_SUCCESS) return status;
    timeout_ = wanted;
  }
  return VI_SUCCESS;
}

ViStatus GpibTransport::send(const ViByte* data, std::size_t size, bool end,
                             const Deadline& deadline, std::size_t& sent) {
  ViStatus status = prepare(deadline);
  if (status != VI_SUCCESS) return status;
  if (const int eot = end ? 1 : 0; eot != eot_) {
    status = checked(lib_.ibeot(ud_, eot));
    if (status != VI_SUCCESS) return status;
    eot_ = eot;
  }
  while (sent < size) {
    const auto count = static_cast<long>(std::min<std::size_t>(size - sent, kMaxTransfer));
    const int ibsta = lib_.ibwrt(ud_, data + sent, count);
    const long done = lib_.thread_ibcntl();
    if (done > 0) sent += static_cast<std::size_t>(std::min(done, count));
    status = checked(ibsta);
    if (status != VI_SUCCESS) return status;
    if (done <= 0) return VI_ERROR_IO;  // a write that took nothing and said nothing
  }
  return VI_SUCCESS;
}

ViStatus GpibTransport::receive(ViByte* data, std::size_t capacity,
                                const ReadTermination& termination, const Deadline& deadline,
                                Received& received) {
  ViStatus status = prepare(deadline);
  if (status != VI_SUCCESS) return status;
  const int eos = termination.enabled ? gpib::kReos | termination.termchar : 0;
  if (eos != eos_) {
    status = checked(lib_.ibeos(ud_, eos));
    if (status != VI_SUCCESS) return status;
    eos_ = eos;
  }
  const auto count = static_cast<long>(std::min<std::size_t>(capacity, kMaxTransfer));
  const int ibsta = lib_.ibrd(ud_, data, count);
  const long got = lib_.thread_ibcntl();
  received.size = got > 0 ? static_cast<std::size_t>(std::min(got, count)) : 0;
  // Bytes that came before a time-out are kept: the caller sees them with the error.
  status = checked(ibsta);
  if (status != VI_SUCCESS) return status;
  if ((ibsta & gpib::kEnd) != 0) {
    // END is EOI, or the eos character when reads end at it: the last byte tells them apart.
    const bool at_termchar =
        termination.enabled && received.size > 0 && data[received.size - 1] == termination.termchar;
    received.end = at_termchar ? ReadEnd::kTermChar : ReadEnd::kEnd;
  } else {
    received.end = received.size == capacity ? ReadEnd::kCount : ReadEnd::kChunk;
  }
  return VI_SUCCESS;
}

ViStatus GpibTransport::get_attribute(ViAttr attribute, void* value) const {
  switch (attribute) {
    case VI_ATTR_GPIB_PRIMARY_ADDR:
      *static_cast<ViUInt16*>(value) = static_cast<ViUInt16>(address_.primary);
      return VI_SUCCESS;
    case VI_ATTR_GPIB_SECONDARY_ADDR:
      *static_cast<ViUInt16*>(value) = static_cast<ViUInt16>(address_.secondary);
      return VI_SUCCESS;
    default:
      return VI_ERROR_NSUP_ATTR;
  }
}

ViStatus GpibTransport::clear(const Deadline& deadline) {
  const ViStatus status = prepare(deadline);
  return status != VI_SUCCESS ? status : checked(lib_.ibclr(ud_));
}

ViStatus GpibTransport::read_status_byte(const Deadline& deadline, ViUInt16& status_byte) {
  ViStatus status = prepare(deadline);
  if (status != VI_SUCCESS) return status;
  char polled = 0;
  status = checked(lib_.ibrsp(ud_, &polled));
  if (status == VI_SUCCESS) status_byte = static_cast<unsigned char>(polled);
  return status;
}

ViStatus GpibTransport::trigger(const Deadline& deadline) {
  const ViStatus status = prepare(deadline);
  return status != VI_SUCCESS ? status : checked(lib_.ibtrg(ud_));
}

// viGpibControlREN's modes in linux-gpib's calls. The IEEE 488.2 calls act on the board and
// take this device's address; without them only the modes the traditional calls cover work.
ViStatus GpibTransport::control_ren(ViUInt16 mode, const Deadline& deadline) {
  ViStatus status = prepare(deadline);
  if (status != VI_SUCCESS) return status;
  const int board = static_cast<int>(address_.board);
  const auto list = address_list();
  // The 488.2 calls return nothing: their outcome is the thread's ibsta.
  switch (mode) {
    case VI_GPIB_REN_DEASSERT:
      return checked(lib_.ibsre(board, 0));
    case VI_GPIB_REN_ASSERT:
      return checked(lib_.ibsre(board, 1));
    case VI_GPIB_REN_DEASSERT_GTL:
      status = checked(lib_.ibloc(ud_));
      return status != VI_SUCCESS ? status : checked(lib_.ibsre(board, 0));
    case VI_GPIB_REN_ADDRESS_GTL:
      return checked(lib_.ibloc(ud_));
    case VI_GPIB_REN_ASSERT_ADDRESS:
      if (lib_.enable_remote == nullptr) return VI_ERROR_NSUP_OPER;
      lib_.enable_remote(board, list.data());
      return checked(lib_.thread_ibsta());
    case VI_GPIB_REN_ASSERT_LLO:
      if (lib_.send_llo == nullptr) return VI_ERROR_NSUP_OPER;
      lib_.send_llo(board);
      return checked(lib_.thread_ibsta());
    case VI_GPIB_REN_ASSERT_ADDRESS_LLO:
      if (lib_.set_rwls == nullptr) return VI_ERROR_NSUP_OPER;
      lib_.set_rwls(board, list.data());
      return checked(lib_.thread_ibsta());
    default:
      return VI_ERROR_INV_MODE;
  }
}

}  // namespace

bool gpib_address(const ResourceName& name, GpibAddress& out) {
  // The canonical name is "GPIB<board>::<primary>[::<secondary>]::INSTR".
  std::string_view rest = name.canonical;
  const auto first = rest.find("::");
  if (name.interface_type != Interface::kGpib || first == std::string_view::npos) return false;
  rest.remove_prefix(first + 2);
  const auto second = rest.find("::");
  if (second == std::string_view::npos || !parse_unsigned(rest.substr(0, second), out.primary)) {
    return false;
  }
  rest.remove_prefix(second + 2);
  out.board = name.board;
  out.secondary = VI_NO_SEC_ADDR;
  if (const auto third = rest.find("::"); third != std::string_view::npos) {
    if (!parse_unsigned(rest.substr(0, third), out.secondary) || out.secondary > kMaxAddress) {
      return false;
    }
  }
  return out.primary <= kMaxAddress && out.board < static_cast<unsigned>(gpib::kBoards);
}

ViStatus accepts_gpib(const ResourceName& name) {
  if (name.interface_type != Interface::kGpib || name.resource_class != "INSTR") {
    return VI_ERROR_RSRC_NFOUND;
  }
  GpibAddress address;
  return gpib_address(name, address) ? VI_SUCCESS : VI_ERROR_INV_RSRC_NAME;
}

ViStatus open_gpib(const OpenRequest& request, std::unique_ptr<Transport>& out) {
  GpibAddress address;
  if (!gpib_address(request.name, address)) return VI_ERROR_INV_RSRC_NAME;
  std::string why;
  const gpib::Library* lib = gpib::load_library(why);
  if (lib == nullptr) {
    trace::note("viOpen", VI_NULL, VI_ERROR_RSRC_NFOUND, request.name.canonical + ": " + why);
    return VI_ERROR_RSRC_NFOUND;
  }
  const int sad = address.secondary == VI_NO_SEC_ADDR
                      ? 0
                      : kSecondaryBase + static_cast<int>(address.secondary);
  const int timeout = gpib::t_value(request.deadline.poll_timeout());
  const int ud = lib->ibdev(static_cast<int>(address.board), static_cast<int>(address.primary), sad,
                            timeout, 1, 0);
  if (ud < 0) {
    trace::note("viOpen", VI_NULL, VI_ERROR_RSRC_NFOUND,
                request.name.canonical + ": no GPIB interface " + std::to_string(address.board) +
                    " (iberr " + std::to_string(lib->thread_iberr()) + ")");
    return VI_ERROR_RSRC_NFOUND;
  }
  auto transport = std::make_unique<GpibTransport>(*lib, ud, address, timeout);
  // Nobody listening at the address: there is no instrument to open.
  short listening = 0;
  const int ibsta = lib->ibln(ud, static_cast<int>(address.primary), sad, &listening);
  if ((ibsta & gpib::kErr) != 0 || listening == 0) {
    trace::note("viOpen", VI_NULL, VI_ERROR_RSRC_NFOUND,
                request.name.canonical + ": no listener at that address");
    return VI_ERROR_RSRC_NFOUND;
  }
  out = std::move(transport);
  return VI_SUCCESS;
}

std::vector<std::string> find_gpib_listeners() {
  std::vector<std::string> names;
  std::string why;
  const gpib::Library* lib = gpib::load_library(why);
  if (lib == nullptr || lib->find_listeners == nullptr) return names;
  std::array<gpib::Addr4882, kMaxAddress + 1> pads{};
  for (unsigned pad = 1; pad <= kMaxAddress; ++pad)
    pads[pad - 1] = static_cast<gpib::Addr4882>(pad);
  pads[kMaxAddress] = gpib::kNoAddr;
  std::array<gpib::Addr4882, 64> found{};
  for (int board = 0; board < gpib::kBoards; ++board) {
    lib->find_listeners(board, pads.data(), found.data(), static_cast<int>(found.size()));
    if ((lib->thread_ibsta() & gpib::kErr) != 0) continue;  // no such board, or not in charge
    const long count = std::min<long>(lib->thread_ibcntl(), static_cast<long>(found.size()));
    for (long i = 0; i < count; ++i) {
      const unsigned pad = found[static_cast<std::size_t>(i)] & 0xFFU;
      const unsigned sad = found[static_cast<std::size_t>(i)] >> 8U;
      std::string name = "GPIB" + std::to_string(board) + "::" + std::to_string(pad);
      if (sad >= static_cast<unsigned>(kSecondaryBase)) {
        name += "::" + std::to_string(sad - kSecondaryBase);
      }
      names.push_back(name + "::INSTR");
    }
  }
  return names;
}

}  // namespace zr48::visa

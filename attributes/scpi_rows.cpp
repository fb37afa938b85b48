// The rows of the SCPI-backed attributes.
#include <array>

#include "ZR48.h"
#include "scpi_attributes.h"

namespace zr48::attributes {
namespace {

// The constant's spelling and its value, so that the registered name cannot drift from it.
#define ZR48_ROW(constant) #constant, constant

constexpr IviAttrFlags kWide = 0;
// Queries of state the instrument changes by itself (or clears when read): every read asks.
constexpr IviAttrFlags kVolatile = IVI_VAL_NEVER_CACHE;
constexpr IviAttrFlags kPerChannel = IVI_VAL_MULTI_CHANNEL;
constexpr ReadShape kNoRead = ReadShape::kNone;
constexpr ReadShape kQuery = ReadShape::kQuery;
constexpr ReadShape kDirect = ReadShape::kDirectQuery;

// The simulated identification, which is also what a simulated session reads.
constexpr const char* kSimulatedIdentification = "Velharn, HLV3907, 0123456789AF, 1.00-1.00";

constexpr ScpiAttribute kIdQueryResponse = {ZR48_ROW(ZR48_ATTR_ID_QUERY_RESPONSE),
                                            IVI_VAL_NOT_USER_WRITABLE,
                                            kSimulatedIdentification,
                                            kDirect,
                                            "*IDN?\n",
                                            nullptr};

// clang-format off
constexpr std::array kRows = {
    // IEEE 488.2 common commands and SYST commands.
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_CLS), kWide, nullptr, kNoRead, nullptr, "*CLS\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_ESE), kWide, nullptr, kQuery, "*ESE?\n", "*ESE %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_ESR), kVolatile, nullptr, kQuery, "*ESR?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_IDN), kWide, nullptr, kQuery, "*IDN?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_OPC), kVolatile, nullptr, kQuery, "*OPC?\n", "*OPC\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_PSC), kWide, nullptr, kQuery, "*PSC?\n", "*PSC %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_RST), kWide, nullptr, kNoRead, nullptr, "*RST\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SRE), kWide, nullptr, kQuery, "*SRE?\n", "*SRE %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STB), kVolatile, nullptr, kQuery, "*STB?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_TRG), kWide, nullptr, kNoRead, nullptr, "*TRG\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SAV), kWide, nullptr, kNoRead, nullptr, "*SAV %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_RCL), kWide, nullptr, kNoRead, nullptr, "*RCL %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_TST), kVolatile, nullptr, kQuery, "*TST?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_WAI), kWide, nullptr, kNoRead, nullptr, "*WAI\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SYST_VERS), kWide, nullptr, kQuery, "SYST:VERS?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SYST_REM), kWide, nullptr, kNoRead, nullptr, "SYST:REM\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SYST_LOC), kWide, nullptr, kNoRead, nullptr, "SYST:LOC\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SYST_RWL), kWide, nullptr, kNoRead, nullptr, "SYST:RWL\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SYST_GPIB_ADDR), kWide, nullptr, kQuery,
                  "SYST:COMM:GPIB:RDEV:ADDR?\n", "SYST:COMM:GPIB:RDEV:ADDR %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SYST_MODU), kWide, nullptr, kQuery, "SYST:MODU?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_SYST_BEEP), kWide, nullptr, kNoRead, nullptr, "SYST:BEEP\n"},

    // STAT registers: QUES group.
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES), kVolatile, nullptr, kQuery, "STAT:QUES?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_COND), kVolatile, nullptr, kQuery,
                  "STAT:QUES:COND?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_ENAB), kWide, nullptr, kQuery,
                  "STAT:QUES:ENAB?\n", "STAT:QUES:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_PRES), kWide, nullptr, kNoRead, nullptr, "STAT:PRES\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST), kVolatile, nullptr, kQuery,
                  "STAT:QUES:INST?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ENAB), kWide, nullptr, kQuery,
                  "STAT:QUES:INST:ENAB?\n", "STAT:QUES:INST:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM1), kVolatile, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM1?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM1_ENAB), kWide, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM1:ENAB?\n", "STAT:QUES:INST:ISUM1:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM1_COND), kVolatile, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM1:COND?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM2), kVolatile, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM2?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM2_ENAB), kWide, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM2:ENAB?\n", "STAT:QUES:INST:ISUM2:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM2_COND), kVolatile, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM2:COND?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM3), kVolatile, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM3?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM3_ENAB), kWide, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM3:ENAB?\n", "STAT:QUES:INST:ISUM3:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_QUES_INST_ISUM3_COND), kVolatile, nullptr, kQuery,
                  "STAT:QUES:INST:ISUM3:COND?\n", nullptr},

    // STAT registers: OPER group. ISUM1's condition register is read directly, without a lock.
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER), kVolatile, nullptr, kQuery, "STAT:OPER?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_COND), kVolatile, nullptr, kQuery,
                  "STAT:OPER:COND?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_ENAB), kWide, nullptr, kQuery,
                  "STAT:OPER:ENAB?\n", "STAT:OPER:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST), kVolatile, nullptr, kQuery,
                  "STAT:OPER:INST?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ENAB), kWide, nullptr, kQuery,
                  "STAT:OPER:INST:ENAB?\n", "STAT:OPER:INST:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM1), kVolatile, nullptr, kQuery,
                  "STAT:OPER:INST:ISUM1?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM1_ENAB), kWide, nullptr, kQuery,
                  "STAT:OPER:INST:ISUM1:ENAB?\n", "STAT:OPER:INST:ISUM1:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM1_COND), kVolatile, nullptr, kDirect,
                  "STAT:OPER:INST:ISUM1:COND?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM2), kVolatile, nullptr, kQuery,
                  "STAT:OPER:INST:ISUM2?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM2_ENAB), kWide, nullptr, kQuery,
                  "STAT:OPER:INST:ISUM2:ENAB?\n", "STAT:OPER:INST:ISUM2:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM2_COND), kVolatile, nullptr, kQuery,
                  "STAT:OPER:INST:ISUM2:COND?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM3), kVolatile, nullptr, kQuery,
                  "STAT:OPER:INST:ISUM3?\n", nullptr},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM3_ENAB), kWide, nullptr, kQuery,
                  "STAT:OPER:INST:ISUM3:ENAB?\n", "STAT:OPER:INST:ISUM3:ENAB %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_STAT_OPER_INST_ISUM3_COND), kVolatile, nullptr, kQuery,
                  "STAT:OPER:INST:ISUM3:COND?\n", nullptr},

    // Per-channel OUTP settings: "INST <channel>" goes first on every access.
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_OUTP), kPerChannel, nullptr, kQuery, "OUTP?\n", "OUTP %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_OUTP_TIM), kPerChannel, nullptr, kQuery,
                  "OUTP:TIM?\n", "OUTP:TIM %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_OUTP_TIM_DATA), kPerChannel, nullptr, kQuery,
                  "OUTP:TIM:DATA?\n", "OUTP:TIM:DATA %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_OUTP_TRAC), kPerChannel, nullptr, kQuery,
                  "OUTP:TRAC?\n", "OUTP:TRAC %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_OUTP_SER), kPerChannel, nullptr, kQuery,
                  "OUTP:SER?\n", "OUTP:SER %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_OUTP_PAR), kPerChannel, nullptr, kQuery,
                  "OUTP:PAR?\n", "OUTP:PAR %s\n"},
    ScpiAttribute{ZR48_ROW(ZR48_ATTR_OUTP_CHAN), kPerChannel, nullptr, kQuery,
                  "CHAN:OUTP?\n", "CHAN:OUTP %s\n"},
};
// clang-format on

#undef ZR48_ROW

// The rows run without gaps from 1150002, so an identifier finds its row by subtraction.
constexpr bool contiguous() {
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    if (kRows[i].id != kIdQueryResponse.id + 1 + i) return false;
  }
  return true;
}
static_assert(kRows.size() == 57 && contiguous());

}  // namespace

const ScpiAttribute& id_query_response_row() {
  return kIdQueryResponse;
}

std::span<const ScpiAttribute> scpi_attribute_rows() {
  return kRows;
}

const ScpiAttribute* find_scpi_attribute(ViAttr id) {
  if (id == kIdQueryResponse.id) return &kIdQueryResponse;
  if (id <= kIdQueryResponse.id || id > kRows.back().id) return nullptr;
  return &kRows[id - kIdQueryResponse.id - 1];
}

}  // namespace zr48::attributes

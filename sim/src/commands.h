// The instrument's command set: one row per SCPI header, with the handlers for its command
// form and its query form.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model.h"
#include "scpi_syntax.h"

namespace zr48::sim {

struct Call {
  Model& model;
  const ProgramUnit& unit;
  int suffix = 1;     // numeric header suffix (ISUM3 -> 3)
  std::string reply;  // the response, without separator or terminator

  // Throws -109 or -108 unless the unit has between `min` and `max` parameters.
  void expect_params(std::size_t min, std::size_t max) const;
  const std::string& param(std::size_t i) const { return unit.params.at(i); }
};

using Handler = std::function<void(Call&)>;

struct CommandRow {
  HeaderPattern pattern;
  Handler command;  // empty: the header has no command form
  Handler query;    // empty: the header has no query form
  // The reply is IEEE 488.2 arbitrary ASCII response data, which only a line feed can end: no
  // query may follow it in the same program message (-440).
  bool indefinite_reply = false;
};

const std::vector<CommandRow>& command_table();

}  // namespace zr48::sim

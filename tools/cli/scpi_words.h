// The SCPI headers the interactive shell completes: every command and query the driver sends,
// taken from the compiled-in API description.
#ifndef ZR48_TOOLS_CLI_SCPI_WORDS_H
#define ZR48_TOOLS_CLI_SCPI_WORDS_H

#include <string>
#include <vector>

namespace zr48::cli {

// Sorted, without duplicates ("*IDN?", "MEAS:VOLT?", "VOLT", ...).
const std::vector<std::string>& scpi_words();

}  // namespace zr48::cli

#endif  // ZR48_TOOLS_CLI_SCPI_WORDS_H

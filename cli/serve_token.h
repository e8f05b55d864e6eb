#pragma once

#include <string>

namespace vela {

struct CliOptions;

// The environment variable that may give `serve` its token.
inline constexpr const char* kServeTokenVariable = "VELA_SERVE_TOKEN";

// The token of `serve`: from --token, from the first line of --token-file, or
// from `environmentToken` (VELA_SERVE_TOKEN; null or empty: not set), at most one
// of them; empty when none is given. False, with one line in `error`, when more
// than one is given or the file cannot be read or holds no token. `warning` gets
// a line when other users may read the file.
bool ServeToken(const CliOptions& options, const char* environmentToken, std::string& token,
                std::string& error, std::string& warning);

}  // namespace vela

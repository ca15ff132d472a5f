#pragma once
// The commands of vellumo-cli, each given the parsed command line and giving
// the exit status (cli.h), and what they share.
#include <string>

#include "cli/options.h"

namespace vellumo::cli {

int RunFiles(const Options& options);      // encrypt, decrypt
int RunClipboard(const Options& options);  // clip-encrypt, clip-decrypt
int RunKeys(const Options& options);       // keys, keys add / remove / rename

// "vellumo-cli: " and the text on standard error: what went wrong.
void Tell(const std::wstring& text);
// The same for what went right, unless --quiet.
void Note(const Options& options, const std::wstring& text);

}  // namespace vellumo::cli

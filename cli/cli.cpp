#include "cli/cli.h"

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/messages.h"
#include "cli/options.h"

namespace vellumo::cli {

void Tell(const std::wstring& text) { WriteText(Stream::kErr, L"vellumo-cli: " + text + L"\n"); }

void Note(const Options& options, const std::wstring& text) {
  if (!options.quiet) Tell(text);
}

int Run(const std::vector<std::wstring>& args) {
  SetLanguage(UserLanguage());
  Options options;
  try {
    options = ParseCommandLine(args);
  } catch (const UsageError& error) {
    // One line that says what is wrong, and where to read more.
    std::wstring text;
    switch (error.args.size()) {
      case 0: text = Say(error.message); break;
      case 1: text = Say(error.message, {error.args[0]}); break;
      default: text = Say(error.message, {error.args[0], error.args[1]}); break;
    }
    Tell(text);
    WriteText(Stream::kErr, Say(Msg::kUsageHint) + L"\n");
    return kExitUsage;
  }
  if (options.help) {
    WriteText(Stream::kOut, HelpText());
    return kExitOk;
  }
  if (options.version) {
    WriteText(Stream::kOut, L"vellumo-cli " VELLUMO_VERSION L"\n");
    return kExitOk;
  }
  if (options.usesKeys()) return RunKeys(options);
  if (options.runsClipboard()) return RunClipboard(options);
  return RunFiles(options);
}

}  // namespace vellumo::cli

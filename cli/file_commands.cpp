// encrypt, decrypt and upgrade: the engine over the given paths, with
// progress, Ctrl-C and a summary (or its JSON).
#include "cli/cli.h"
#include "cli/cli_reporter.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json.h"
#include "cli/key_input.h"
#include "crypto/key_block.h"
#include "fileenc/file_engine.h"

namespace vellumo::cli {
namespace {

const char* OutcomeName(FileOutcome outcome) {
  switch (outcome) {
    case FileOutcome::kDone: return "done";
    case FileOutcome::kSkipped: return "skipped";
    case FileOutcome::kRefused: return "refused";
    case FileOutcome::kFailed: return "failed";
    case FileOutcome::kCancelled: return "stopped";
  }
  return "";
}

const char* MessageName(FileMessage message) {
  switch (message) {
    case FileMessage::kNone: return "";
    case FileMessage::kCannotOpen: return "cannot-open";
    case FileMessage::kAlreadyEncrypted: return "already-encrypted";
    case FileMessage::kNotEncrypted: return "not-encrypted";
    case FileMessage::kWrongKey: return "wrong-key";
    case FileMessage::kUnpackFailed: return "unpack-failed";
    case FileMessage::kReadWriteFailed: return "read-write-failed";
    case FileMessage::kReplaceFailed: return "replace-failed";
    case FileMessage::kPacksItself: return "packs-itself";
    case FileMessage::kPackFailed: return "pack-failed";
    case FileMessage::kDamaged: return "damaged";
    case FileMessage::kUnsupported: return "unsupported";
    case FileMessage::kNoMemory: return "no-memory";
    case FileMessage::kAlreadySealed: return "already-sealed";
    case FileMessage::kUnknownCipher: return "unknown-cipher";
  }
  return "";
}

const char* CauseName(StatusCode code) {
  switch (code) {
    case StatusCode::kOk: return "";
    case StatusCode::kNotFound: return "not-found";
    case StatusCode::kNoAccess: return "no-access";
    case StatusCode::kInUse: return "in-use";
    case StatusCode::kNoSpace: return "no-space";
    case StatusCode::kNotAFile: return "not-a-file";
    case StatusCode::kLink: return "link";
    case StatusCode::kAlreadyExists: return "already-exists";
    case StatusCode::kIoError: return "io-error";
    case StatusCode::kCancelled: return "stopped";
  }
  return "";
}

std::string SummaryJson(const Options& options, const RunSummary& summary) {
  JsonList files('[');
  for (const FileResult& file : summary.files) {
    JsonList entry('{');
    entry.Add("path", JsonString(file.path)).Add("result", JsonString(OutcomeName(file.outcome)));
    if (file.message != FileMessage::kNone) entry.Add("reason", JsonString(MessageName(file.message)));
    if (!file.status.ok() && file.status.code() != StatusCode::kCancelled) {
      entry.Add("cause", JsonString(CauseName(file.status.code())))
          .Add("osError", JsonNumber(file.status.osError()));
    }
    files.Add(entry.Close());
  }
  JsonList leftovers('[');
  for (const std::wstring& path : summary.leftoversRemoved) leftovers.Add(JsonString(path));
  JsonList root('{');
  root.Add("command", JsonString(CommandName(options.command)))
      .Add("done", JsonNumber(summary.done))
      .Add("skipped", JsonNumber(summary.skipped))
      .Add("refused", JsonNumber(summary.refused))
      .Add("failed", JsonNumber(summary.failed))
      .Add("stopped", JsonBool(summary.cancelled))
      .Add("notStarted", JsonNumber(static_cast<int64_t>(summary.notStarted)))
      .Add("files", files.Close())
      .Add("leftoversRemoved", leftovers.Close());
  return root.Close() + "\n";
}

}  // namespace

int RunFiles(const Options& options) {
  const RunKind kind = options.command == Command::kDecrypt   ? RunKind::kDecrypt
                       : options.command == Command::kUpgrade ? RunKind::kUpgrade
                                                              : RunKind::kEncrypt;
  // An upgrade opens legacy files with a key they were made with, and its
  // key check tells a typo: asked once, as for decryption.
  const KeyUse use = kind != RunKind::kEncrypt                ? KeyUse::kExisting
                     : options.format == FileFormat::kSealed ? KeyUse::kNewSealed
                                                             : KeyUse::kNewLegacy;
  int status = kExitOk;
  const auto keyText = ObtainKey(options, use, status);
  if (!keyText) return status;

  std::vector<std::wstring> paths;
  for (const auto& path : options.arguments) paths.push_back(FullPath(path));
  // Static: the interrupt handler keeps pointing at it until the program ends.
  static CancelFlag cancel{false};
  // Both forms of the key: the legacy block opens (and writes) legacy files,
  // the whole text sealed ones.
  RunDescription run;
  run.key = MakeKeyBlock(*keyText, options.codePage);
  run.keyText = *keyText;
  run.format = options.format;
  run.algorithm = options.algorithm;
  run.direction = kind == RunKind::kDecrypt ? Direction::kDecrypt : Direction::kEncrypt;
  run.pack = options.pack;
  run.cancel = &cancel;
  run.skipDone = options.skipDone;

  using Line = CliReporter::ProgressLine;
  const Line progress = options.progress                                  ? Line::kAsked
                        : !options.quiet && IsTerminal(Stream::kErr) ? Line::kAuto
                                                                        : Line::kNone;
  CliReporter reporter(progress, options.verbose, kind);
  StopOnInterrupt(&cancel);
  const RunSummary summary = kind == RunKind::kUpgrade ? UpgradeSelection(paths, run, reporter, options.codePage)
                                                        : RunSelection(paths, run, reporter, options.codePage);
  reporter.Finish();

  if (options.json) {
    WriteBytes(Stream::kOut, SummaryJson(options, summary));
  } else if (!options.quiet) {
    std::wstring text = SummaryLine(summary, kind) + L"\n";
    if (!summary.leftoversRemoved.empty()) {
      text += Say(Msg::kLeftoversRemoved, {std::to_wstring(summary.leftoversRemoved.size())}) + L"\n";
    }
    WriteText(Stream::kOut, text);
  }
  if (options.verbose) {
    for (const std::wstring& path : summary.leftoversRemoved) Tell(Say(Msg::kLeftoverRemoved, {path}));
  }
  if (summary.skipped > 0 && !options.skipDone) {
    Note(options, Say(Msg::kSkipDoneHint, {std::to_wstring(summary.skipped), SkippedAs(kind)}));
  }

  if (summary.cancelled) return InterruptedExitStatus();
  const bool skippedCounts = summary.skipped > 0 && !options.skipDone;
  return summary.allDone() && !skippedCounts ? kExitOk : kExitRefused;
}

}  // namespace vellumo::cli

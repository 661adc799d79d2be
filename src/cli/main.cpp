// sonivex-cli: the scriptable side of Sonivex. It never reads or writes the desktop
// program's settings, so a script gets the same result on every machine; every default
// is a documented flag.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "infocommand.h"
#include "setcommand.h"

namespace {

constexpr const char* kUsage =
    "Usage: sonivex-cli COMMAND [OPTIONS] FILE...\n"
    "\n"
    "Reads and writes the tags of MP3 files (.mp1, .mp2, .mp3). Output is JSON Lines:\n"
    "one object per file per line, text in UTF-8, numbers as JSON numbers.\n"
    "\n"
    "Commands:\n"
    "  info FILE...   Describe the ID3v2 tag of each file: whether it exists, its version,\n"
    "                 size, padding, header flags, extended header and frames. Each line\n"
    "                 is {\"file\": PATH, \"id3v2\": {...}}, or {\"file\": PATH, \"error\": MESSAGE}\n"
    "                 when the file cannot be read. Messages the tag engine reports while\n"
    "                 reading go into a \"warnings\" list on that file's line.\n"
    "\n"
    "                 Inside \"id3v2\" the typed view follows: \"fields\" (every text-frame\n"
    "                 property by name), \"web\", \"web_artist\", \"web_commercial\",\n"
    "                 \"user_text\", \"user_url\", \"comments\", \"lyrics\", \"pictures\",\n"
    "                 \"popularimeter\", \"terms_of_use\", \"play_counter\"; keys are absent\n"
    "                 when empty.\n"
    "\n"
    "  set FILE... --field NAME=VALUE [--field NAME=VALUE...] [--version V] [--encoding E]\n"
    "                 Write text-frame properties by their property names (Title, Artist,\n"
    "                 Album, Year, Track, Genre, ...; an empty VALUE removes the frame)\n"
    "                 and save the tag. Each line is {\"file\", \"ok\",\n"
    "                 \"version\", \"encoding\", \"fields\"} or {\"file\", \"error\"}. A value\n"
    "                 the engine refuses (an invalid number or time stamp) or a character\n"
    "                 the encoding cannot hold is an error for that file, which is then\n"
    "                 left untouched.\n"
    "                 --version 2.2|2.3|2.4   default: the version the tag was read in,\n"
    "                                         2.3 when the file had none\n"
    "                 --encoding latin1|utf16|utf16be|utf8\n"
    "                                         default: utf16 for 2.2 and 2.3, utf8 for 2.4;\n"
    "                                         2.2 and 2.3 cannot hold utf16be or utf8\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help and exit.\n"
    "  --version      Show the version and exit.\n"
    "\n"
    "The command line never reads or writes the desktop program's settings.\n"
    "Exit status: 0 when every file succeeded, 1 when some file failed, 2 for a usage error.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "sonivex-cli: %s\nTry 'sonivex-cli --help'.\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return UsageError("no command given");
  const std::string command = args.front();
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::puts("sonivex-cli " SONIVEX_VERSION);
    return 0;
  }
  if (command == "info") {
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
      const std::string& a = args[i];
      if (!optionsEnded && a == "--") optionsEnded = true;
      else if (!optionsEnded && (a == "-h" || a == "--help")) {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (!optionsEnded && a.size() > 1 && a[0] == '-') return UsageError("unknown option " + a);
      else files.push_back(a);
    }
    if (files.empty()) return UsageError("info needs at least one FILE");
    return cli::RunInfo(files);
  }
  if (command == "set") {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& a : rest)
      if (a == "-h" || a == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
      } else if (a == "--") {
        break;
      }
    cli::TSetRequest request;
    const std::string error = cli::ParseSetArguments(rest, request);
    if (!error.empty()) return UsageError(error);
    return cli::RunSet(request);
  }
  return UsageError("unknown command " + command);
}

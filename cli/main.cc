// zara-sort: the command-line front end of the engine.
//
//   zara-sort [-c TEXT | -f FILE] [-v] [--progress] -o OUTPUT INPUT...
//
// Runs one sort, merge or copy through s_2mains and reports its status;
// "-" as an input reads standard input and "-o -" writes standard output.
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/diagnostics.h"
#include "cli/progress_line.h"
#include "cli/spool.h"
#include "zara15z37.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: zara-sort [-c TEXT | -f FILE] [-v] [--progress] -o OUTPUT INPUT...\n";

const char kHelp[] =
    "usage: zara-sort [-c TEXT | -f FILE] [-v] [--progress] -o OUTPUT INPUT...\n"
    "\n"
    "Sorts, merges or copies the records of the INPUT files into OUTPUT as the\n"
    "control statements say. Without SORT or MERGE the records are copied in\n"
    "input order. An INPUT of - reads standard input; -o - writes standard output.\n"
    "\n"
    "  -c TEXT      control statements\n"
    "  -f FILE      read the control statements from FILE\n"
    "  -o FILE      output file (- for standard output)\n"
    "  -v           report the number of records written\n"
    "  --progress   show progress on standard error when it is a terminal\n"
    "  --help       show this text\n"
    "\n"
    "Control statements (keywords may be abbreviated; [comments] allowed):\n"
    "  SORT (pos,len,type,A|D, ...)     keys; MERGE is the same; types CH ALP BI FI\n"
    "                                   PD ZD INT W E FL NUM ALT SP DP SLI STI STS T\n"
    "  SORT (#n,type,A|D, ...)          the n-th delimited field (DELIMIT (code))\n"
    "  FILETYPE (FIX,len) | (FE) | (TXT) | (VS) | (RV) | (CVS) | (PRE,len)\n"
    "           | (GP,(bytes),(bytes)) | (DB3)      RECORD (len): fixed records\n"
    "  INCLUDE (cond) / OMIT (cond)     e.g. (1,3,CH,EQ,\"ABC\",AND,5,2,BI,GT,\"7\")\n"
    "  OUTREC (1,10,\"-\",11,E,CRLF)     SUM (pos,len,type, ...)   DUPOUT / DUPEX / DUPIN\n"
    "  LIMIT (n)  ORIGIN (n)  BYPASS (n,D|R)  CORE (kb)  WORKDRIVE (dir/)  APPEND\n"
    "  ALTSEQ (file)  ADDROUT  KEYOUT  OVERWRITE  PAUSE  APOST\n"
    "\n"
    "Example:\n"
    "  zara-sort -c 'SORT (1,5,CH,A)' -o sorted.txt names.txt\n"
    "\n"
    "Exit status: 0 success, 1 the run failed (its status is shown), 2 usage error.\n";

bool read_text_file(const char* path, std::string* out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  std::ostringstream s;
  s << f.rdbuf();
  *out = s.str();
  return true;
}

// The engine splits input names at these bytes unless the name stands
// between quote characters.
bool needs_quotes(const std::string& name) {
  return name.empty() || name.find_first_of("[], +\t\n\"'") != std::string::npos;
}

// APOST makes the apostrophe the quote character of the run, names
// included: a control text with a token beginning "AP" that is not APPEND.
char quote_character(const std::string& control) {
  std::string token;
  auto is_delim = [](char c) { return strchr("[], )(+\t\r\n", c) != nullptr || c == '\0'; };
  for (size_t i = 0; i <= control.size(); ++i) {
    const char c = i < control.size() ? control[i] : '\0';
    if (!is_delim(c)) {
      token += static_cast<char>(toupper(static_cast<unsigned char>(c)));
      continue;
    }
    if (token.size() >= 2 && token.compare(0, 2, "AP") == 0 &&
        std::string("APOS").compare(0, std::min<size_t>(token.size(), 4), token, 0,
                                    std::min<size_t>(token.size(), 4)) == 0)
      return '\'';
    token.clear();
  }
  return '"';
}

struct Options {
  std::string control;
  bool have_control = false;
  const char* output = nullptr;
  std::vector<std::string> inputs;
  bool verbose = false;
  bool progress = false;
};

int usage_error(const char* message) {
  fprintf(stderr, "zara-sort: %s\n%s", message, kUsage);
  return kExitUsage;
}

int parse_arguments(int argc, char** argv, Options* o) {
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!options_done && strcmp(a, "--") == 0) {
      options_done = true;
    } else if (!options_done && strcmp(a, "--help") == 0) {
      fputs(kHelp, stdout);
      return -1;
    } else if (!options_done && (strcmp(a, "-c") == 0 || strcmp(a, "-f") == 0 ||
                                 strcmp(a, "-o") == 0)) {
      if (i + 1 >= argc) return usage_error("option needs a value");
      const char* value = argv[++i];
      if (a[1] == 'o') {
        o->output = value;
      } else if (o->have_control) {
        return usage_error("give the control statements once (-c or -f)");
      } else if (a[1] == 'c') {
        o->control = value;
        o->have_control = true;
      } else {
        if (!read_text_file(value, &o->control)) {
          fprintf(stderr, "zara-sort: cannot read %s: %s\n", value, strerror(errno));
          return kExitUsage;
        }
        o->have_control = true;
      }
    } else if (!options_done && strcmp(a, "-v") == 0) {
      o->verbose = true;
    } else if (!options_done && strcmp(a, "--progress") == 0) {
      o->progress = true;
    } else if (!options_done && a[0] == '-' && a[1] != '\0') {
      return usage_error("unknown option");
    } else {
      o->inputs.emplace_back(a);
    }
  }
  if (!o->output) return usage_error("no output file (-o)");
  if (o->inputs.empty()) return usage_error("no input file");
  return 0;
}

// Joins the input names into the engine's name list, quoting names that
// hold its delimiters. False when a name cannot be passed.
bool name_list(const std::vector<std::string>& inputs, char quote, std::string* names) {
  for (const std::string& name : inputs) {
    if (!names->empty()) *names += ' ';
    if (!needs_quotes(name)) {
      *names += name;
    } else if (name.find(quote) == std::string::npos) {
      *names += quote + name + quote;
    } else {
      fprintf(stderr, "zara-sort: cannot pass the file name %s (it holds the quote character)\n",
              name.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  const int parsed = parse_arguments(argc, argv, &o);
  if (parsed < 0) return 0;
  if (parsed > 0) return parsed;

  zara_cli::Spool spool;
  std::string error;
  std::vector<std::string> engine_inputs;
  for (const std::string& name : o.inputs) {
    std::string path = name;
    if (name == "-" && !spool.take_stdin(&path, &error)) {
      fprintf(stderr, "zara-sort: %s\n", error.c_str());
      return kExitFailure;
    }
    engine_inputs.push_back(path);
  }
  std::string output = o.output;
  const bool to_stdout = output == "-";
  if (to_stdout && !spool.make_output(&output, &error)) {
    fprintf(stderr, "zara-sort: %s\n", error.c_str());
    return kExitFailure;
  }

  std::string names;
  if (!name_list(engine_inputs, quote_character(o.control), &names)) return kExitUsage;
  // The output name is read before any statement, with the double quote.
  std::string output_text = output;
  if (needs_quotes(output)) {
    if (output.find('"') != std::string::npos) {
      fprintf(stderr, "zara-sort: cannot pass the output name %s (it holds a double quote)\n",
              output.c_str());
      return kExitUsage;
    }
    output_text = '"' + output + '"';
  }

  zara_cli::ProgressLine progress(stderr);
  if (o.progress && isatty(STDERR_FILENO)) zara_set_progress(zara_cli::ProgressLine::callback, &progress);
  uint32_t records = 0;
  uint32_t status = 0;
  s_2mains(names.data(), static_cast<uint32_t>(names.size()), output_text.data(),
           static_cast<uint32_t>(output_text.size()), o.control.data(),
           static_cast<uint32_t>(o.control.size()), &records, &status);
  zara_set_progress(nullptr, nullptr);
  progress.erase();
  if (status != 0) {
    const zara_cli::RunContext context{&o.control, &o.inputs, o.output};
    zara_cli::report_failure(stderr, status, context);
    return kExitFailure;
  }
  if (to_stdout && !spool.emit_output(&error)) {
    fprintf(stderr, "zara-sort: %s\n", error.c_str());
    return kExitFailure;
  }
  if (o.verbose) fprintf(stderr, "zara-sort: %u records written\n", records);
  return 0;
}

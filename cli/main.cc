// zara-sort: the command-line front end of the engine.
//
//   zara-sort [-c TEXT | -f FILE] [-v] [--progress] [--copybook FILE]
//             [--explain N] -o OUTPUT INPUT...
//   zara-sort --copybook FILE --fields
//
// Runs one sort, merge or copy through s_2mains and reports its status;
// "-" as an input reads standard input and "-o -" writes standard output.
// With a copybook, field names stand for positions, lengths and types.
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/copybook_file.h"
#include "cli/diagnostics.h"
#include "cli/explain.h"
#include "cli/layout/control_plan.h"
#include "cli/layout/field_table.h"
#include "cli/progress_line.h"
#include "cli/record_check.h"
#include "cli/spool.h"
#include "zara15z37.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: zara-sort [-c TEXT | -f FILE] [-v] [--progress] [--copybook FILE] [--explain N]\n"
    "                 -o OUTPUT INPUT...\n"
    "       zara-sort --copybook FILE --fields\n";

const char kHelp[] =
    "usage: zara-sort [-c TEXT | -f FILE] [-v] [--progress] [--copybook FILE] [--explain N]\n"
    "                 -o OUTPUT INPUT...\n"
    "       zara-sort --copybook FILE --fields\n"
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
    "  --copybook FILE  a COBOL record description: its field names stand for\n"
    "               positions, lengths and types, and its length for RECORD\n"
    "  --fields     show the copybook's layout and exit\n"
    "  --explain N  show each key and condition for the first N output records\n"
    "  --binary-byteorder big-endian|native   COMP, BINARY, COMP-4 (big-endian)\n"
    "  --binary-size 1-2-4-8|2-4-8|1--8       bytes of binary items (1-2-4-8)\n"
    "  --sign ascii|ebcdic                     embedded DISPLAY signs (ascii)\n"
    "  --copybook-format fixed|free            source format (found from the text)\n"
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
    "Examples:\n"
    "  zara-sort -c 'SORT (1,5,CH,A)' -o sorted.txt names.txt\n"
    "  zara-sort --copybook cust.cpy -c 'SORT (CUST-ID,A) INCLUDE (STATE,EQ,\"CA\")' \\\n"
    "            -o sorted.dat customers.dat\n"
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
  const char* copybook = nullptr;
  bool fields = false;
  long explain = -1;
  bool layout_option = false;  // a convention option, which needs --copybook
  zara_layout::Conventions conventions;
  zara_layout::SourceFormat format = zara_layout::SourceFormat::kAuto;
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

// The options that shape the layout or the report; 1 when `a` is one of
// them and its value is good, 0 when it is none of them, -1 for a bad value.
int layout_option(const char* a, const char* value, Options* o) {
  const std::string v = value ? value : "";
  if (strcmp(a, "--copybook") == 0) {
    o->copybook = value;
    return 1;
  }
  if (strcmp(a, "--explain") == 0) {
    char* end = nullptr;
    o->explain = strtol(v.c_str(), &end, 10);
    return (!v.empty() && *end == '\0' && o->explain >= 0 && o->explain <= 1000000) ? 1 : -1;
  }
  o->layout_option = true;
  if (strcmp(a, "--binary-byteorder") == 0) {
    o->conventions.binary_native = v == "native";
    return (v == "native" || v == "big-endian") ? 1 : -1;
  }
  if (strcmp(a, "--binary-size") == 0) {
    using zara_layout::BinarySize;
    o->conventions.binary_size = v == "2-4-8" ? BinarySize::k248 : v == "1--8" ? BinarySize::k1to8 : BinarySize::k1248;
    return (v == "1-2-4-8" || v == "2-4-8" || v == "1--8") ? 1 : -1;
  }
  if (strcmp(a, "--sign") == 0) {
    o->conventions.ebcdic_sign = v == "ebcdic";
    return (v == "ascii" || v == "ebcdic") ? 1 : -1;
  }
  if (strcmp(a, "--copybook-format") == 0) {
    using zara_layout::SourceFormat;
    o->format = v == "free" ? SourceFormat::kFree : SourceFormat::kFixed;
    return (v == "fixed" || v == "free") ? 1 : -1;
  }
  o->layout_option = false;
  return 0;
}

bool takes_value(const char* a) {
  for (const char* name : {"--copybook", "--explain", "--binary-byteorder", "--binary-size", "--sign",
                           "--copybook-format"})
    if (strcmp(a, name) == 0) return true;
  return false;
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
    } else if (!options_done && takes_value(a)) {
      if (i + 1 >= argc) return usage_error("option needs a value");
      if (layout_option(a, argv[++i], o) < 0) return usage_error("bad option value");
    } else if (!options_done && strcmp(a, "--fields") == 0) {
      o->fields = true;
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
  if ((o->fields || o->layout_option) && !o->copybook) return usage_error("that option needs --copybook");
  if (o->fields) return 0;
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

  zara_layout::RecordLayout layout;
  if (o.copybook) {
    bool unreadable = false;
    if (!zara_cli::load_copybook(o.copybook, o.format, o.conventions, &layout, stderr, &unreadable))
      return unreadable ? kExitUsage : kExitFailure;
    if (o.fields) {
      fputs(zara_layout::field_table(layout).c_str(), stdout);
      return 0;
    }
  }
  // The control text the engine parses: with a copybook, its names
  // replaced by positions; the plan also serves --explain.
  zara_layout::ControlPlan plan;
  if (o.copybook || o.explain >= 0) {
    zara_layout::NameError name_error;
    if (!zara_layout::plan_control(o.control, o.copybook ? &layout : nullptr, &plan, &name_error)) {
      fprintf(stderr, "zara-sort: %s\n", name_error.message.c_str());
      fputs(zara_cli::caret_lines(o.control, static_cast<uint32_t>(name_error.offset)).c_str(), stderr);
      return kExitFailure;
    }
  }
  const std::string& control = o.copybook ? plan.engine_text : o.control;

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
  if (!name_list(engine_inputs, quote_character(control), &names)) return kExitUsage;
  if (o.copybook && plan.complete &&
      (!zara_cli::check_record_lengths(plan, layout.record_length, engine_inputs, o.inputs, &error) ||
       !zara_cli::check_short_records(plan, layout.record_length, names, &error))) {
    fprintf(stderr, "zara-sort: %s\n", error.c_str());
    return kExitFailure;
  }
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
           static_cast<uint32_t>(output_text.size()), control.data(),
           static_cast<uint32_t>(control.size()), &records, &status);
  zara_set_progress(nullptr, nullptr);
  progress.erase();
  if (status != 0) {
    zara_cli::RunContext context{&o.control, &o.inputs, o.output};
    if (o.copybook)
      context.user_offset = [&](size_t at) { return plan.map.to_user(at, o.control.size()); };
    zara_cli::report_failure(stderr, status, context);
    return kExitFailure;
  }
  if (to_stdout && !spool.emit_output(&error)) {
    fprintf(stderr, "zara-sort: %s\n", error.c_str());
    return kExitFailure;
  }
  if (o.verbose) fprintf(stderr, "zara-sort: %u records written\n", records);
  if (o.explain >= 0) {
    const zara_cli::ExplainRequest request{&plan, &o.control, names, static_cast<unsigned>(o.explain),
                                           to_stdout ? stderr : stdout};
    if (!zara_cli::explain_records(request, &error)) {
      fprintf(stderr, "zara-sort: --explain: %s\n", error.c_str());
      return kExitFailure;
    }
  }
  return 0;
}

// Standard input and output in pipelines. The engine seeks in its inputs
// and may rewrite its output's header, so "-" is spooled through a
// private temporary directory: standard input is copied into a file there
// before the run, and the run's output, created there by the engine, is
// copied to standard output after it.
#pragma once

#include <string>

#include "cli/temp_dir.h"

namespace zara_cli {

class Spool {
 public:
  Spool() = default;
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  // Copies standard input into a new temporary file; its name in *path.
  bool take_stdin(std::string* path, std::string* error);
  // The name of the run's output: a file that does not exist yet, so that
  // the engine creates it whatever its options (APPEND included).
  bool make_output(std::string* path, std::string* error);
  // Copies the temporary output to standard output.
  bool emit_output(std::string* error);

 private:
  TempDir dir_;  // removes the spooled files with itself
  std::string input_;
  std::string output_;
};

}  // namespace zara_cli

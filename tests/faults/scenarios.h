// The runs that the fault sweep disturbs. Each scenario writes its inputs
// once into the sweep's base directory and knows the output a successful
// run must leave; every run then happens in a child process, in a fresh
// directory below the base, where the inputs are "../name".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/faults/call_sites.h"

namespace zara_faults {

// The first failure status of the run, or 0 when it completed (a
// record-at-a-time run: every record came back and the end of data was
// reported); and the records written or returned.
struct RunOutcome {
  uint32_t status = 0;
  uint32_t records = 0;
};

class Scenario {
 public:
  virtual ~Scenario() = default;
  const std::string& name() const { return name_; }
  const std::string& summary() const { return summary_; }
  const ScenarioFiles& files() const { return files_; }

  // In the base directory: writes the inputs, works out the output.
  virtual void prepare() = 0;
  // In the child's directory, before and after the engine's calls.
  virtual bool set_up() { return true; }
  virtual void tear_down() {}
  // The engine's calls: the part of the child's life that is disturbed.
  virtual RunOutcome run() = 0;
  // After a run that reported success: its output is complete and correct.
  virtual bool output_correct() = 0;

 protected:
  Scenario(std::string name, std::string summary) : name_(std::move(name)), summary_(std::move(summary)) {}
  ScenarioFiles files_;

 private:
  std::string name_;
  std::string summary_;
};

std::vector<std::unique_ptr<Scenario>> make_scenarios();

}  // namespace zara_faults

// Fuzz case "raat": sequences of record-at-a-time calls through s_1raat.
//
// Input layout:
//   byte 0     the control text: below 0xC0 one of kRaatControls (modulo
//              its size); otherwise the next byte is a length n and the n
//              bytes after it are the text (refused when it holds '/',
//              '\\' or ':');
//   byte       bit 0: a descriptor budget of 6 free slots (file limit 6);
//   then calls, one opcode byte each (low 3 bits):
//     0-3  release: a length byte (below 240 that many bytes, else
//          (b - 239) * 128) and the record bytes (fewer if the input ends);
//     4-5  return; 6 finish (function 4);
//     7    a special call chosen by the next byte: open again, open one of
//          kRaatControls, an invalid function code, a release without data
//          or without a length word, a return without a length word.
// At most kMaxRaatCalls calls are made.
//
// Checks, call by call: every status is documented; with no run open,
// release and return give 261; after the first return, release gives 262;
// an invalid code gives 260; a returned record fits the receive buffer and,
// unless OUTREC or SUM reshape records, is one of the records released and
// not yet returned; never more records come back than went in. For the
// controls marked exact, a run that ends (status 1) without any failure
// returns exactly the released records in the expected order. At the end
// the run is finished, a new empty run is opened and finished (which
// releases whatever a failed run held), and the descriptors and files are
// compared with the start.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "engine/arena.h"
#include "engine/run_state.h"
#include "fuzz/harness.h"

namespace zara_fuzz {

constexpr size_t kMaxRaatCalls = 4000;

enum class RaatOrder { kNone, kRelease, kKeyAscending, kKeyDescending };

struct RaatControl {
  const char* text;
  RaatOrder order;  // what a whole run without failures must return
};

inline const RaatControl kRaatControls[] = {
    {"", RaatOrder::kRelease},
    {"SORT (1,4,CH,A) CORE (60)", RaatOrder::kKeyAscending},
    {"SORT (1,4,CH,D) CORE (60)", RaatOrder::kKeyDescending},
    {"SORT (1,2,BI,A,3,3,PD,D) CORE (60) DUPOUT (1,2)", RaatOrder::kNone},
    {"SORT (1,4,ZD,A) SUM (5,4,BI) CORE (60)", RaatOrder::kNone},
    {"OUTREC (1,3,RRN) CORE (60)", RaatOrder::kNone},
    {"MERGE (#2,CH,A) DELIMIT (59) CORE (100) INCLUDE (#1,CH,NE,\"x\")", RaatOrder::kNone},
    {"SORT (1,8,NUM,D) OMIT (1,1,CH,EQ,\"x\") DUPIN (1,2) CORE (60)", RaatOrder::kNone},
    {"CORE (60) INCLUDE (1,2,CH,CO,\"a\")", RaatOrder::kNone},
    {"SORT (1,4,CH,A) CORE (60) OUTREC (1,4)", RaatOrder::kNone},
    {"CORE (0) SORT (3,2,CH,D)", RaatOrder::kNone},
    {"SUM (1,2,ZD) SORT (1,1,CH,A) CORE (60) OUTREC (1,2,DUPC)", RaatOrder::kNone},
};
constexpr size_t kRaatControlCount = sizeof kRaatControls / sizeof kRaatControls[0];

// What the harness knows of the run the engine has open.
struct RaatMirror {
  bool known = true;      // the state below is certain
  bool open = false;
  bool returning = false;
  bool failed = false;    // a call of this run failed
  bool contain = false;   // returned records must be released ones
  RaatOrder order = RaatOrder::kNone;
  std::vector<Bytes> released;
  std::vector<Bytes> returned;
  std::vector<Bytes> unreturned;  // released, not yet returned (contain)
  size_t returned_count = 0;
};

inline std::vector<Bytes> raat_expected(const RaatMirror& m) {
  std::vector<Bytes> want = m.released;
  auto key = [](const Bytes& r) { return r.substr(0, 4); };
  if (m.order == RaatOrder::kKeyAscending)
    std::stable_sort(want.begin(), want.end(),
                     [&](const Bytes& a, const Bytes& b) { return key(a) < key(b); });
  if (m.order == RaatOrder::kKeyDescending)
    std::stable_sort(want.begin(), want.end(),
                     [&](const Bytes& a, const Bytes& b) { return key(a) > key(b); });
  return want;
}

// Room for the longest record a run can return: one sort buffer.
inline std::vector<uint8_t>& receive_buffer() {
  static std::vector<uint8_t> buffer(zara::kMaxPartSize + 64);
  return buffer;
}

class RaatSession {
 public:
  RaatSession() : receive_(receive_buffer()) {}

  std::string run(const uint8_t* data, size_t size) {
    InputReader in(data, size);
    const uint8_t pick = in.byte();
    if (pick < 0xC0) {
      control_ = kRaatControls[pick % kRaatControlCount].text;
      order_ = kRaatControls[pick % kRaatControlCount].order;
    } else {
      control_ = in.take(in.byte());
      order_ = RaatOrder::kNone;
      if (!control_text_confined(reinterpret_cast<const uint8_t*>(control_.data()),
                                 control_.size()))
        return {};
    }
    const uint8_t flags = in.byte();
    static const std::map<std::string, Bytes> no_files;
    RunWatch watch(&no_files, {});
    {
      DescriptorBudget budget((flags & 1) ? 6 : 0);
      open(control_, order_);
      for (size_t calls = 0; finding_.empty() && !in.empty() && calls < kMaxRaatCalls; ++calls)
        step(&in);
      if (finding_.empty()) finish();
    }
    // Whatever a run closed by a failure still holds goes with the next run.
    Bytes empty;
    uint32_t length = 0;
    uint32_t status = 0;
    s_1raat(1, empty.data(), &length, &status);
    s_1raat(4, nullptr, nullptr, &status);
    const std::string after = watch.finish(!any_failure_);
    return finding_.empty() ? after : finding_;
  }

 private:
  uint32_t call(int32_t function, void* data, uint32_t* length) {
    uint32_t status = 0xFFFFFFFFu;
    s_1raat(function, data, length, &status);
    if (finding_.empty() && !status_documented(status))
      finding_ = "function " + std::to_string(function) + ": undocumented " +
                 describe_status(status);
    if (status > 1) any_failure_ = true;
    return status;
  }

  void expect(uint32_t status, uint32_t wanted, const char* what) {
    if (finding_.empty() && status != wanted)
      finding_ = std::string(what) + " gave " + describe_status(status) + ", expected " +
                 std::to_string(wanted);
  }

  void open(const Bytes& control, RaatOrder order) {
    texts_.push_back(control);  // the engine keeps the address during the run
    uint32_t length = static_cast<uint32_t>(control.size());
    const uint32_t status = call(1, texts_.back().data(), &length);
    mirror_ = RaatMirror{};
    mirror_.open = status == 0;
    mirror_.failed = status != 0;
    mirror_.order = order;
    mirror_.contain = status == 0 && !zara::cp[zara::kCpOutrec] && !zara::cpnm[zara::kOptSum];
  }

  void release(const Bytes& record, bool null_data, bool null_length) {
    uint32_t length = static_cast<uint32_t>(record.size());
    Bytes copy = record;  // the engine copies it; a private copy catches reuse
    const uint32_t status = call(2, null_data ? nullptr : copy.data(), null_length ? nullptr : &length);
    if (!mirror_.known) return;
    if (!mirror_.open) return expect(status, zara::kNoRaatRun, "release with no run open");
    if (mirror_.returning) {
      expect(status, zara::kReleaseAfterReturn, "release after a return");
      mirror_.open = false;
      return;
    }
    if (status != 0) {
      mirror_.open = false;
      mirror_.failed = true;
      return;
    }
    const Bytes taken = null_length ? Bytes() : record;
    if (null_data && !taken.empty()) {
      finding_ = "a release without data was accepted";
      return;
    }
    mirror_.released.push_back(taken);
    if (mirror_.contain) mirror_.unreturned.push_back(taken);
  }

  void give(bool null_length) {
    uint32_t length = 0xFFFFFFFFu;
    const uint32_t status = call(3, receive_.data(), null_length ? nullptr : &length);
    if (!mirror_.known) return;
    if (!mirror_.open) return expect(status, zara::kNoRaatRun, "return with no run open");
    mirror_.returning = true;
    if (status == 1) {
      mirror_.open = false;
      check_whole_run();
      return;
    }
    if (status != 0) {
      // A failure inside the return phase may or may not have closed the run.
      mirror_.failed = true;
      mirror_.known = false;
      return;
    }
    ++mirror_.returned_count;
    if (mirror_.returned_count > mirror_.released.size()) {
      finding_ = "more records returned (" + std::to_string(mirror_.returned_count) +
                 ") than released (" + std::to_string(mirror_.released.size()) + ")";
      return;
    }
    if (null_length) {
      mirror_.contain = false;  // the record's length is unknown
      mirror_.failed = true;    // and so the exact order cannot be checked
      return;
    }
    if (length > receive_.size()) {
      finding_ = "returned length " + std::to_string(length) + " exceeds every possible record";
      return;
    }
    const Bytes record(reinterpret_cast<const char*>(receive_.data()), length);
    mirror_.returned.push_back(record);
    if (!mirror_.contain) return;
    auto it = std::find(mirror_.unreturned.begin(), mirror_.unreturned.end(), record);
    if (it == mirror_.unreturned.end()) {
      finding_ = "returned a record of " + std::to_string(length) +
                 " bytes that was not released or was already returned";
      return;
    }
    mirror_.unreturned.erase(it);
  }

  void check_whole_run() {
    if (mirror_.failed || mirror_.order == RaatOrder::kNone) return;
    if (mirror_.returned != raat_expected(mirror_))
      finding_ = "run of " + std::to_string(mirror_.released.size()) + " records returned " +
                 std::to_string(mirror_.returned.size()) + " records, not in the expected order";
  }

  void finish() {
    const uint32_t status = call(4, nullptr, nullptr);
    if (mirror_.known && status != 0 && finding_.empty() && mirror_.open)
      finding_ = "finish failed with " + describe_status(status);
    mirror_ = RaatMirror{};
  }

  void step(InputReader* in) {
    const uint8_t op = in->byte();
    switch (op & 7) {
      case 0:
      case 1:
      case 2:
      case 3: {
        const uint8_t b = in->byte();
        const size_t n = b < 240 ? b : size_t{b - 239u} * 128;
        release(in->take(n), false, false);
        break;
      }
      case 4:
      case 5: give(false); break;
      case 6: finish(); break;
      default: special(in); break;
    }
  }

  void special(InputReader* in) {
    const uint8_t b = in->byte();
    switch (b % 6) {
      case 0: open(control_, order_); break;
      case 1: {
        const RaatControl& c = kRaatControls[in->byte() % kRaatControlCount];
        open(c.text, c.order);
        break;
      }
      case 2: {
        static const int32_t codes[] = {0, 5, -1, 0x7FFFFFFF, 100, -2147483647 - 1};
        const uint32_t status = call(codes[in->byte() % 6], receive_.data(), nullptr);
        expect(status, zara::kBadFunction, "an invalid function code");
        mirror_ = RaatMirror{};  // closed; its work files may stay
        break;
      }
      case 3: release(in->take(in->byte() % 8 + 1), true, false); break;
      case 4: release(Bytes(), false, true); break;
      default: give(true); break;
    }
  }

  Bytes control_;
  RaatOrder order_ = RaatOrder::kNone;
  RaatMirror mirror_;
  std::deque<Bytes> texts_;  // stays where it is while later ones are added
  std::vector<uint8_t>& receive_;
  std::string finding_;
  bool any_failure_ = false;
};

inline bool prepare_raat_case() { return true; }

inline std::string run_raat_case(const uint8_t* data, size_t size) {
  RaatSession session;
  return session.run(data, size);
}

}  // namespace zara_fuzz

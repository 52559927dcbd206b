// Fuzz program "raat": s_1raat call sequences. Byte 0 below 0xC0 picks a text of kControls, else the next
// byte is the length of a text that follows; the next byte's bit 0 sets a file limit of 6. Then opcode
// bytes (low 3 bits): 0-3 release (a length byte b: b bytes below 240, else (b - 239) * 128), 4-5 return,
// 6 finish, 7 by the next byte: open again or another text, a bad function code, a release without data
// or length, a return without length. Statuses must follow the run's state.
#include "engine/arena.h"
#include "fuzz/harness.h"

namespace raat_case {
using namespace zara_fuzz;

enum Order { kNone, kReleased, kAscending, kDescending };
struct Control { const char* text; Order order; };
const Control kControls[] = {
    {"", kReleased}, {"SORT (1,4,CH,A) CORE (60)", kAscending}, {"SORT (1,4,CH,D) CORE (60)", kDescending},
    {"SORT (1,2,BI,A,3,3,PD,D) SUM (5,4,BI) CORE (60)", kNone}, {"OUTREC (1,3,RRN) CORE (60)", kNone},
    {"MERGE (#2,CH,A) DELIMIT (59) CORE (100) INCLUDE (#1,CH,NE,\"x\")", kNone}, {"CORE (0) SORT (3,2,CH,D)", kNone},
    {"SORT (1,8,NUM,D) OMIT (1,1,CH,EQ,\"x\") DUPIN (1,2) CORE (60)", kNone}};
std::vector<char> receive(zara::kMaxPartSize + 64);  // holds the longest record

struct Session {
  std::string run(Input in) {
    const uint8_t pick = in.byte();
    const Control given = pick < 0xC0 ? kControls[pick % std::size(kControls)] : Control{nullptr, kNone};
    const Bytes text = given.text ? given.text : in.take(in.byte());
    if (!confined(text)) return {};
    const size_t fds = descriptors();
    with_file_limit(in.byte() & 1, [&] {
      for (open(text.data(), text.size(), given.order); finding_.empty() && !in.empty() && ++calls_ < 4000;) step(in, text, given.order);
      finish();
    });
    open("", 0, kNone), call(4, nullptr, nullptr);  // frees what a run closed by a failure still holds
    const std::string left = leftovers(fds, {}, !failed_);
    return finding_.empty() ? left : finding_;
  }

  uint32_t call(int32_t function, void* data, uint32_t* length, uint32_t wanted = ~0u) {
    uint32_t status = ~0u;
    s_1raat(function, data, length, &status);
    if (finding_.empty() && ((wanted != ~0u && status != wanted) || !status_finding(status).empty()))
      finding_ = "function " + std::to_string(function) + " gave status " + std::to_string(status);
    failed_ |= status > 1;
    return status;
  }
  void open(const char* text, size_t size, Order order) {  // the engine reads the text during the run
    uint32_t length = static_cast<uint32_t>(size);
    open_ = call(1, const_cast<char*>(text), &length) == 0, returning_ = false;
    order_ = order, released_.clear(), returned_.clear();
  }
  void release(Bytes record, bool no_data, bool no_length) {
    uint32_t length = static_cast<uint32_t>(record.size());
    const uint32_t wanted = !open_ ? 261 : returning_ ? 262 : ~0u;
    const uint32_t status = call(2, no_data ? nullptr : record.data(), no_length ? nullptr : &length, wanted);
    if (wanted == ~0u && status == 0 && no_data && !no_length) finding_ = "took a release without data";
    open_ = wanted == ~0u && status == 0;
    released_.push_back(no_length ? "" : record);
  }
  void give(bool no_length) {
    uint32_t length = 0;
    const uint32_t status = call(3, receive.data(), no_length ? nullptr : &length, open_ ? ~0u : 261);
    if (open_ && status > 1) call(4, nullptr, nullptr);  // a failed return leaves the run open: end it
    if (!open_ || status > 1) return void(open_ = false);
    returning_ = true, open_ = status == 0;
    if (status == 1 && order_ != kNone && returned_ != in_order(released_)) finding_ = "the run returned other records";
    if (status == 0 && (returned_.size() >= released_.size() || length > receive.size())) finding_ = "a record too many";
    if (status == 0 && no_length) order_ = kNone;
    if (status == 0) returned_.emplace_back(receive.data(), std::min<size_t>(length, receive.size()));
  }
  std::vector<Bytes> in_order(std::vector<Bytes> records) const {
    std::stable_sort(records.begin(), records.end(), [&](const Bytes& a, const Bytes& b) {
      const int order = a.substr(0, 4).compare(b.substr(0, 4));
      return order != 0 && order_ != kReleased && (order < 0) == (order_ == kAscending);
    });
    return records;
  }
  void finish() { call(4, nullptr, nullptr, open_ ? 0 : ~0u), open_ = false; }
  void step(Input& in, const Bytes& text, Order order) {
    static const int32_t kBadCodes[] = {0, 5, -1, 0x7FFFFFFF, 100, -2147483647 - 1};
    const uint8_t op = in.byte() & 7, b = op >= 4 && op <= 6 ? 0 : in.byte();
    const Control& other = kControls[b / 8 % std::size(kControls)];
    if (op < 4) return release(in.take(b < 240 ? b : (b - 239u) * 128), false, false);
    if (op < 7) return op < 6 ? give(false) : finish();
    if (b % 6 < 2) return b % 6 ? open(other.text, strlen(other.text), other.order) : open(text.data(), text.size(), order);
    if (b % 6 == 2) return call(kBadCodes[b / 8 % 6], receive.data(), nullptr, 260), void(open_ = false);
    if (b % 6 < 5) return b % 6 == 3 ? release(in.take(b / 8 % 8 + 1), true, false) : release("", false, true);
    give(true);
  }

  std::vector<Bytes> released_, returned_;
  Order order_ = kNone;
  int calls_ = 0;
  bool open_ = false, returning_ = false, failed_ = false;
  std::string finding_;
};

std::string run(const uint8_t* data, size_t size) { return Session().run(Input{data, size}); }

}  // namespace raat_case

ZARA_FUZZ_CASE(raat_case::run)

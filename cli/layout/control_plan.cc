#include "cli/layout/control_plan.h"

#include <cctype>

#include "cli/layout/control_scanner.h"
#include "cli/layout/keyword_match.h"
#include "cli/layout/number_literal.h"

namespace zara_layout {

namespace {

constexpr unsigned kMaxKeys = 20;
constexpr unsigned kMaxItems = 20;
constexpr unsigned kMaxDupFields = 20;
constexpr unsigned kMaxOutrecLiteral = 20;
constexpr int kConnectorAnd = 1;
constexpr int kConditionContains = 0;
constexpr int kCharacterType = 0;  // CHA in kFieldTypes
constexpr int kCaseBlindType = 1;  // ALP
constexpr uint32_t kNulTerminated = 65535;

// kGo: the statement goes on; kStop: the engine refuses the text here;
// kFail: a name error.
enum Step { kGo, kStop, kFail };

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

bool all_digits(std::string_view s) {
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// atoi as the engine reads a token: leading digits after an optional sign.
long long token_number(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
    if (v < 0x7FFFFFFF) v = v * 10 + (s[i] - '0');
  return negative ? -v : v;
}

bool starts_upper(std::string_view s, char c) {
  return !s.empty() && std::toupper(static_cast<unsigned char>(s[0])) == c;
}

bool is_qualifier(const ControlToken& t) {
  if (t.literal) return false;
  const std::string u = upper(t.text);
  return u == "OF" || u == "IN";
}

struct Field {
  ResolvedField resolved;
  size_t begin = 0, end = 0;
};

class Walker {
 public:
  Walker(const std::string& text, const RecordLayout* layout, ControlPlan* plan, NameError* error)
      : text_(text), layout_(layout), plan_(plan), error_(error), sc_(text) {}

  bool run() {
    ControlToken tok;
    while (sc_.next(&tok)) {
      if (!tok.text.empty() && tok.text[0] == '\x1A') break;
      const int keyword = match_keyword(kStatements, tok.text);
      if (keyword < 0) {
        plan_->complete = false;
        break;
      }
      PlanStatement st{keyword, tok.start, 0, sc_.position()};
      const Step step = statement(keyword);
      if (step == kFail) return false;
      st.end = sc_.position();
      plan_->statements.push_back(st);
      if (step == kStop) {
        plan_->complete = false;
        break;
      }
    }
    finish();
    return true;
  }

 private:
  // ---- statements -------------------------------------------------------

  Step statement(int keyword) {
    switch (keyword) {
      case kAddrout: case kKeyout: case kDelimit:
        return sc_.paren('(') ? token() : kGo;
      case kBypass:
        plan_->bypass = -1;
        if (!sc_.paren('(')) return kGo;
        if (!sc_.next(&tok_)) return kStop;
        plan_->bypass = token_number(tok_.text);
        return token();
      case kCore: case kWorkdrive: case kOpenmode: case kAltseq: case kLimit: case kLast:
      case kOrigin:
        return sc_.paren('(') ? token() : kStop;
      case kRecord: {
        if (!sc_.paren('(') || !sc_.next(&tok_)) return kStop;
        record_given_ = true;
        plan_->record_length = static_cast<uint32_t>(token_number(tok_.text));
        return kGo;
      }
      case kFiletype: return filetype();
      case kInclude: case kOmit:
        plan_->omit = keyword == kOmit;
        plan_->comparisons.clear();
        return condition();
      case kSort: case kMerge:
        plan_->keys.clear();  // a later SORT replaces the keys
        return keys();
      case kOutrec: return sc_.paren('(') ? outrec() : kStop;
      case kDupout: case kDupex: case kDupin: return sc_.paren('(') ? dup_fields() : kGo;
      case kSum:
        if (!sc_.paren('(') || sc_.paren(')')) return kGo;
        return sum_fields();
      case kApost:
        sc_.set_quote('\'');
        return kGo;
      default:
        return kGo;  // PAUSE, EQUALS, APPEND, OVERWRITE, NOYIELD, VERB
    }
  }

  Step token() { return sc_.next(&tok_) ? kGo : kStop; }

  Step filetype() {
    filetype_given_ = true;
    if (!sc_.next(&tok_)) return kStop;
    const int type = match_keyword(kFileTypes, tok_.text);
    if (type < 0) return kStop;
    type_flags_[type] = true;
    plan_->file_type = type;
    // As in the engine, the first type flag set chooses the parameters.
    if (type_flags_[kFix] || (!type_flags_[kFe] && !type_flags_[kBt] && type_flags_[kPre])) {
      if (!sc_.next(&tok_)) return kStop;
      plan_->record_length = static_cast<uint32_t>(token_number(tok_.text));
      return kGo;
    }
    if (type_flags_[kFe]) return (sc_.paren(')') || sc_.next(&tok_)) ? kGo : kStop;
    if (type_flags_[kBt]) return kStop;
    if (type_flags_[kGp]) {
      for (int list = 0; list < 2; ++list) {
        if (!sc_.paren('(')) return kStop;
        uint32_t bytes = 0;
        for (; !sc_.paren(')'); ++bytes)
          if (!sc_.next(&tok_)) return kStop;
        if (list == 0) plan_->gp_delimiter_length = bytes;
      }
    }
    return kGo;
  }

  Step keys() {
    for (unsigned count = 1;; ++count) {
      if (!sc_.next(&tok_)) return kStop;
      PlanKey key;
      if (is_name(tok_)) {
        Field f;
        if (!name_field(&f) || !need_key_type(f)) return kFail;
        const Encoding& e = f.resolved.item->encoding;
        key.position = f.resolved.position;
        key.length = f.resolved.length;
        key.type = canonical_type(e.key_type);
        key.decode_type = canonical_type(e.decode_type);
        key.scale = e.scale;
        key.label = text_.substr(f.begin, f.end - f.begin);
        replace(f, position_length(f) + "," + e.key_type);
      } else {
        const size_t begin = tok_.start;
        if (tok_.text.size() > 0 && tok_.text[0] == '#') {
          const long long field = token_number(tok_.text.substr(1));
          if (field <= 0) return kStop;
          key.position = static_cast<uint32_t>(field);
        } else {
          const long long pos = token_number(tok_.text);
          if (pos <= 0 || !sc_.next(&tok_)) return kStop;
          key.position = static_cast<uint32_t>(pos);
          if (starts_upper(tok_.text, 'Z')) {
            key.length = kNulTerminated;
          } else {
            const long long len = token_number(tok_.text);
            if (len <= 0) return kStop;
            key.length = static_cast<uint32_t>(len);
          }
        }
        if (!sc_.next(&tok_)) return kStop;
        const int type = match_keyword(kFieldTypes, tok_.text);
        if (type < 0) return kStop;
        key.type = key.decode_type = canonical_type(tok_.text);
        key.label = text_.substr(begin, tok_.after - begin);
      }
      if (!sc_.next(&tok_)) return kStop;
      const int direction = match_keyword(kDirections, tok_.text);
      if (direction < 0) return kStop;
      key.descending = direction == 1;
      plan_->keys.push_back(key);
      if (sc_.paren(')')) return kGo;
      if (count == kMaxKeys) return kStop;
    }
  }

  Step condition() {
    int depth = 0;
    for (;;) {
      while (sc_.paren('(')) ++depth;
      const Step step = comparison();
      if (step != kGo) return step;
      while (sc_.paren(')')) {
        if (--depth < 0) return kStop;
        if (depth > 0) continue;
        return sc_.paren(')') ? kStop : kGo;
      }
      if (!sc_.next(&tok_)) return kStop;
      if (match_keyword(kConnectors, tok_.text) < kConnectorAnd) return kStop;
    }
  }

  Step comparison() {
    if (!sc_.next(&tok_)) return kStop;
    PlanComparison cmp;
    cmp.begin = tok_.start;
    const DataItem* first = nullptr;
    int type = -1;
    if (is_name(tok_)) {
      Field f;
      if (!name_field(&f) || !need_key_type(f)) return kFail;
      first = f.resolved.item;
      type = match_keyword(kFieldTypes, first->encoding.key_type);
      replace(f, position_length(f) + "," + first->encoding.key_type);
    } else {
      if (!plain_field()) return kStop;
      if (!sc_.next(&tok_)) return kStop;
      type = match_keyword(kFieldTypes, tok_.text);
      if (type < 0) return kStop;
    }
    if (!sc_.next(&tok_)) return kStop;
    const int op = match_keyword(kConditions, tok_.text);
    if (op < 0) return kStop;
    if (op == kConditionContains && type != kCharacterType && type != kCaseBlindType) return kStop;
    if (!sc_.next(&tok_)) return kStop;
    if (tok_.literal && first && op != kConditionContains) {
      std::string form;
      switch (number_for_field(*first, tok_.text, &form)) {
        case LiteralForm::kRewritten:
          plan_->replacements.push_back(ControlPlan::Replacement{tok_.start, tok_.end, form});
          break;
        case LiteralForm::kRefused:
          error_->message = "\"" + std::string(tok_.text) + "\" " + form;
          error_->offset = tok_.start;
          return kFail;
        default:
          break;
      }
    } else if (!tok_.literal) {
      if (is_name(tok_)) {
        Field f;
        if (!name_field(&f)) return kFail;
        if (first && !same_kind(*first, *f.resolved.item, f)) return kFail;
        replace(f, position_length(f));
      } else if (!plain_field()) {
        return kStop;
      }
    }
    cmp.end = sc_.position();
    plan_->comparisons.push_back(cmp);
    return kGo;
  }

  // A field given by "#n" or by position and length (a length of 0 makes
  // the position a field number); the first token is read.
  bool plain_field() {
    if (!tok_.text.empty() && tok_.text[0] == '#') return token_number(tok_.text.substr(1)) > 0;
    if (token_number(tok_.text) <= 0) return false;
    if (!sc_.next(&tok_)) return false;
    return token_number(tok_.text) >= 0;
  }

  Step outrec() {
    for (unsigned count = 1;; ++count) {
      if (!sc_.next(&tok_)) return kStop;
      if (tok_.literal) {
        if (tok_.text.size() > kMaxOutrecLiteral) return kStop;
      } else if (is_outrec_name()) {
        Field f;
        if (!name_field(&f)) return kFail;
        replace(f, position_length(f));
      } else if (const int kw = match_keyword(kOutrecWords, tok_.text); kw >= 0) {
        if (kw == 0) return kStop;
        if (keyword_at(kOutrecWords, kw) == "DUPC" && sc_.paren('(')) {
          if (!sc_.next(&tok_) || !sc_.paren(')')) return kStop;
        }
      } else {
        if (token_number(tok_.text) <= 0 || !sc_.next(&tok_)) return kStop;
        if (!starts_upper(tok_.text, 'E') && token_number(tok_.text) <= 0) return kStop;
      }
      if (sc_.paren(')')) return kGo;
      if (count == kMaxItems) return kStop;
    }
  }

  bool is_outrec_name() {
    if (!is_name(tok_)) return false;
    if (!matches_unabridged(kOutrecWords, tok_.text)) return true;
    ControlToken next;
    return sc_.peek(&next) && is_qualifier(next);
  }

  Step dup_fields() {
    unsigned count = 0;
    for (;;) {
      if (!sc_.next(&tok_)) return kStop;
      // Without a copybook the engine reads any B... as the hold size.
      const bool hold_size = starts_upper(tok_.text, 'B') &&
                             (!layout_ || tok_.text.size() == 1 || all_digits(tok_.text.substr(1)));
      if (!hold_size && is_name(tok_)) {
        Field f;
        if (!name_field(&f)) return kFail;
        replace(f, position_length(f));
        if (++count == kMaxDupFields) return kStop;
      } else if (!hold_size) {
        if (!tok_.text.empty() && tok_.text[0] == '#') {
          if (token_number(tok_.text.substr(1)) <= 0) return kStop;
        } else {
          if (token_number(tok_.text) <= 0 || !sc_.next(&tok_)) return kStop;
          if (!starts_upper(tok_.text, 'E') && token_number(tok_.text) <= 0) return kStop;
        }
        if (++count == kMaxDupFields) return kStop;
      }
      if (sc_.paren(')')) return kGo;
    }
  }

  Step sum_fields() {
    for (unsigned count = 1;; ++count) {
      if (!sc_.next(&tok_)) return kStop;
      if (is_name(tok_)) {
        Field f;
        if (!name_field(&f)) return kFail;
        const Encoding& e = f.resolved.item->encoding;
        if (e.sum_type.empty()) return name_error(f, name_of(f) + ": " + e.sum_refusal);
        replace(f, position_length(f) + "," + e.sum_type);
      } else {
        if ((!tok_.text.empty() && tok_.text[0] == '#') || token_number(tok_.text) <= 0) return kStop;
        if (!sc_.next(&tok_) || token_number(tok_.text) <= 0) return kStop;
        if (!sc_.next(&tok_) || match_keyword(kSumTypes, tok_.text) < 0) return kStop;
      }
      if (sc_.paren(')')) return kGo;
      if (count == kMaxItems) return kStop;
    }
  }

  // ---- names ------------------------------------------------------------

  bool is_name(const ControlToken& t) const {
    if (!layout_ || t.literal || t.text.empty() || t.text[0] == '#') return false;
    return !all_digits(t.text);
  }

  // Reads the name whose first word is tok_, with its qualifiers and
  // subscripts, and looks it up.
  bool name_field(Field* f) {
    FieldName name;
    f->begin = tok_.start;
    f->end = tok_.end;
    name.names.push_back(upper(tok_.text));
    read_qualifiers(&name, f);
    if (!read_subscripts(&name, f)) return false;
    if (name.subscripts.empty()) read_qualifiers(&name, f);
    if (!error_->message.empty()) return false;
    std::string message;
    if (!resolve_field(*layout_, name, &f->resolved, &message)) {
      name_error(*f, message);
      return false;
    }
    return true;
  }

  void read_qualifiers(FieldName* name, Field* f) {
    ControlToken q, n;
    while (error_->message.empty() && sc_.peek(&q) && is_qualifier(q)) {
      sc_.next(&q);
      if (!sc_.next(&n) || n.literal) {
        error_->message = upper(q.text) + " must be followed by the name of a group";
        error_->offset = q.start;
        return;
      }
      name->names.push_back(upper(n.text));
      f->end = n.end;
    }
  }

  // "(n)" or "(n,m ...)" after the name, blanks allowed before it.
  bool read_subscripts(FieldName* name, Field* f) {
    size_t p = sc_.position();
    while (p < text_.size() && text_[p] == ' ') ++p;
    if (p >= text_.size() || text_[p] != '(') return true;
    const size_t open = p++;
    for (;;) {
      while (p < text_.size() && (text_[p] == ' ' || text_[p] == ',')) ++p;
      if (p >= text_.size()) return subscript_error(open, "the subscript list is not closed");
      if (text_[p] == ')') break;
      const size_t start = p;
      while (p < text_.size() && std::isdigit(static_cast<unsigned char>(text_[p]))) ++p;
      if (p == start || p - start > 9) return subscript_error(start, "a subscript must be a number");
      name->subscripts.push_back(std::stoll(text_.substr(start, p - start)));
    }
    if (name->subscripts.empty()) return subscript_error(open, "empty subscript list");
    sc_.set_position(p + 1);
    f->end = p + 1;
    return true;
  }

  bool subscript_error(size_t offset, const std::string& message) {
    error_->message = message;
    error_->offset = offset;
    return false;
  }

  bool need_key_type(const Field& f) {
    const Encoding& e = f.resolved.item->encoding;
    if (!e.key_type.empty()) return true;
    name_error(f, name_of(f) + " cannot be a key or a condition field: " + e.refusal);
    return false;
  }

  // A field compared with a second field: the engine compares both as the
  // first one's type over the second one's length.
  bool same_kind(const DataItem& a, const DataItem& b, const Field& f) {
    const bool text = a.encoding.key_type == "CH";
    if (a.encoding.key_type == b.encoding.key_type && (text || a.size == b.size)) return true;
    name_error(f, name_of(f) + " is " + b.encoding.key_type + " of " + std::to_string(b.size) +
                      " bytes and cannot be compared with a field of " + a.encoding.key_type +
                      " of " + std::to_string(a.size) + " bytes");
    return false;
  }

  Step name_error(const Field& f, const std::string& message) {
    error_->message = message;
    error_->offset = f.begin;
    return kFail;
  }

  std::string name_of(const Field& f) const { return upper(text_.substr(f.begin, f.end - f.begin)); }

  static std::string position_length(const Field& f) {
    return std::to_string(f.resolved.position) + "," + std::to_string(f.resolved.length);
  }

  void replace(const Field& f, const std::string& text) {
    plan_->replacements.push_back(ControlPlan::Replacement{f.begin, f.end, text});
  }

  // ---- the engine's text ------------------------------------------------

  void finish() {
    if (record_given_ && !type_flags_[kFe]) plan_->file_type = kFix;
    std::string& engine = plan_->engine_text;
    if (layout_ && !record_given_ && !filetype_given_) {
      plan_->file_type = kFix;
      plan_->record_length = layout_->record_length;
      plan_->record_added = true;
      plan_->map.replace(&engine, "RECORD (" + std::to_string(layout_->record_length) + ") ", 0);
    }
    size_t at = 0;
    for (const ControlPlan::Replacement& r : plan_->replacements) {
      plan_->map.copy(&engine, text_, at, r.begin);
      plan_->map.replace(&engine, r.text, r.begin);
      at = r.end;
    }
    plan_->map.copy(&engine, text_, at, text_.size());
  }

  const std::string& text_;
  const RecordLayout* layout_;
  ControlPlan* plan_;
  NameError* error_;
  ControlScanner sc_;
  ControlToken tok_;
  bool record_given_ = false;
  bool filetype_given_ = false;
  bool type_flags_[10] = {};
};

}  // namespace

std::string ControlPlan::engine_slice(size_t begin, size_t end) const {
  std::string out;
  size_t at = begin;
  for (const Replacement& r : replacements) {
    if (r.begin < begin || r.end > end) continue;
    out.append(*user, at, r.begin - at);
    out += r.text;
    at = r.end;
  }
  if (end > at) out.append(*user, at, end - at);
  return out;
}

std::string ControlPlan::statements_text(const std::function<bool(int)>& keep,
                                         const PlanStatement* replaced,
                                         const std::string& replacement) const {
  std::string out;
  if (record_added) out += "RECORD (" + std::to_string(record_length) + ") ";
  for (const PlanStatement& st : statements) {
    if (&st == replaced) {
      out += replacement + " ";
    } else if (!keep(st.keyword)) {
      continue;
    } else if (st.keyword == kBypass) {
      out += "BYPASS (" + std::to_string(bypass == -1 ? record_length : bypass) + ",D) ";
    } else {
      out += engine_slice(st.begin, st.end) + " ";
    }
  }
  return out;
}

bool plan_control(const std::string& user_text, const RecordLayout* layout, ControlPlan* plan,
                  NameError* error) {
  *plan = ControlPlan{};
  plan->user = &user_text;
  *error = NameError{};
  return Walker(user_text, layout, plan, error).run();
}

}  // namespace zara_layout

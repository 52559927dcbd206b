#include "cli/layout/copybook_parser.h"

#include <cctype>
#include <cstring>

namespace zara_layout {

namespace {

constexpr uint32_t kMaxOccurs = 65535;

const char* const kClauseWords[] = {
    "PIC", "PICTURE", "USAGE", "SIGN", "LEADING", "TRAILING", "REDEFINES", "OCCURS", "VALUE",
    "VALUES", "JUSTIFIED", "JUST", "BLANK", "GLOBAL", "EXTERNAL", "SYNC", "SYNCHRONIZED",
};

bool is_clause_word(const std::string& w) {
  Usage u;
  if (usage_from_word(w, &u)) return true;
  for (const char* c : kClauseWords)
    if (w == c) return true;
  return false;
}

bool is_number(const std::string& w) {
  if (w.empty()) return false;
  for (char c : w)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

class Parser {
 public:
  Parser(const std::vector<CobolToken>& tokens, std::vector<DataItem>* items, LayoutError* error)
      : t_(tokens), items_(items), error_(error) {}

  bool run() {
    while (peek().kind != TokenKind::kEnd) {
      if (!entry()) return false;
    }
    if (items_->empty()) return fail("the copybook describes no record", peek());
    return true;
  }

 private:
  const CobolToken& peek(size_t ahead = 0) const {
    const size_t i = pos_ + ahead < t_.size() ? pos_ + ahead : t_.size() - 1;
    return t_[i];
  }
  const CobolToken& take() {
    const CobolToken& tok = peek();
    if (pos_ + 1 < t_.size()) ++pos_;
    return tok;
  }
  bool word_is(const char* w) const {
    return peek().kind == TokenKind::kWord && peek().text == w;
  }
  bool fail(const std::string& message, const CobolToken& at) {
    *error_ = LayoutError{message, at.where};
    return false;
  }
  void skip_to_period() {
    while (peek().kind != TokenKind::kEnd && peek().kind != TokenKind::kPeriod) take();
    if (peek().kind == TokenKind::kPeriod) take();
  }

  bool entry() {
    const CobolToken& level_token = take();
    if (level_token.kind != TokenKind::kWord || !is_number(level_token.text) ||
        level_token.text.size() > 2)
      return fail("a level number must begin the entry", level_token);
    const int level = std::stoi(level_token.text);
    if (level == 66 || level == 88) {
      skip_to_period();
      return true;
    }
    if (level == 0 || (level > 49 && level != 77))
      return fail("level " + level_token.text + " is not a level of a record", level_token);
    DataItem item;
    item.level = level == 77 ? 1 : level;
    item.where = level_token.where;
    if (peek().kind == TokenKind::kWord && !is_clause_word(peek().text)) {
      const std::string& name = take().text;
      if (name != "FILLER") item.name = name;
    }
    if (!place(&item, level_token)) return false;
    while (peek().kind != TokenKind::kPeriod) {
      if (peek().kind == TokenKind::kEnd) return fail("the entry does not end with a period", peek());
      if (!clause(&items_->back())) return false;
    }
    take();
    return check_usage(items_->back(), level_token);
  }

  // Links the item to its group and inherits the group's USAGE and SIGN.
  bool place(DataItem* item, const CobolToken& at) {
    while (!open_.empty() && (*items_)[open_.back()].level >= item->level) open_.pop_back();
    if (item->level != 1) {
      if (open_.empty()) return fail("no 01 level above this entry", at);
      const int parent = open_.back();
      const DataItem& group = (*items_)[parent];
      if (group.has_picture || group.usage == Usage::kFloat || group.usage == Usage::kDouble)
        return fail("the item above is elementary and cannot hold subordinate items", at);
      item->parent = parent;
      item->usage = group.usage;
      item->sign_given = group.sign_given;
      item->sign_inherited = group.sign_given;
      item->sign = group.sign;
    }
    const int index = static_cast<int>(items_->size());
    if (item->parent >= 0) (*items_)[item->parent].children.push_back(index);
    items_->push_back(*item);
    open_.push_back(index);
    return true;
  }

  bool clause(DataItem* item) {
    const CobolToken& tok = take();
    if (tok.kind != TokenKind::kWord) return fail("a clause was expected here", tok);
    const std::string& w = tok.text;
    Usage usage;
    if (w == "PIC" || w == "PICTURE") return picture(item);
    if (w == "USAGE") {
      if (word_is("IS")) take();
      const CobolToken& u = take();
      if (u.kind != TokenKind::kWord || !usage_from_word(u.text, &usage))
        return fail("USAGE " + u.text + " is not supported", u);
      return set_usage(item, usage);
    }
    if (usage_from_word(w, &usage)) return set_usage(item, usage);
    if (w == "SIGN") {
      if (word_is("IS")) take();
      if (!word_is("LEADING") && !word_is("TRAILING")) return fail("LEADING or TRAILING expected", peek());
      return sign(item, take().text);
    }
    if (w == "LEADING" || w == "TRAILING") return sign(item, w);
    if (w == "REDEFINES") {
      const CobolToken& target = take();
      if (target.kind != TokenKind::kWord) return fail("REDEFINES needs a name", target);
      item->redefines = target.text;
      item->redefines_where = target.where;
      return true;
    }
    if (w == "OCCURS") return occurs(item, tok);
    if (w == "VALUE" || w == "VALUES") {
      while (peek().kind != TokenKind::kPeriod && peek().kind != TokenKind::kEnd &&
             !(peek().kind == TokenKind::kWord && is_clause_word(peek().text)))
        take();
      return true;
    }
    if (w == "JUSTIFIED" || w == "JUST") {
      if (word_is("RIGHT")) take();
      return true;
    }
    if (w == "BLANK") {
      if (word_is("WHEN")) take();
      if (!word_is("ZERO") && !word_is("ZEROS") && !word_is("ZEROES"))
        return fail("BLANK WHEN ZERO expected", peek());
      take();
      return true;
    }
    if (w == "GLOBAL" || w == "EXTERNAL") return true;
    if (w == "SYNC" || w == "SYNCHRONIZED") return fail("SYNCHRONIZED is not supported", tok);
    return fail("'" + w + "' is not a clause this tool reads", tok);
  }

  bool picture(DataItem* item) {
    if (word_is("IS")) take();
    const CobolToken& p = take();
    if (p.kind != TokenKind::kWord) return fail("PICTURE needs a character string", p);
    std::string message;
    if (!parse_picture(p.text, &item->picture, &message)) return fail("PICTURE " + p.text + ": " + message, p);
    item->has_picture = true;
    return true;
  }

  bool set_usage(DataItem* item, Usage usage) {
    item->usage = usage;
    item->usage_given = true;
    return true;
  }

  bool sign(DataItem* item, const std::string& place) {
    item->sign_given = true;
    item->sign_inherited = false;
    item->sign.leading = place == "LEADING";
    item->sign.separate = false;
    if (word_is("SEPARATE")) {
      take();
      item->sign.separate = true;
      if (word_is("CHARACTER")) take();
    }
    return true;
  }

  bool occurs(DataItem* item, const CobolToken& at) {
    const CobolToken& n = take();
    if (n.kind != TokenKind::kWord || !is_number(n.text) || n.text.size() > 5)
      return fail("OCCURS needs a count", n);
    const uint32_t count = static_cast<uint32_t>(std::stoul(n.text));
    if (count == 0 || count > kMaxOccurs) return fail("OCCURS count out of range", n);
    if (word_is("TO")) return fail("OCCURS ... DEPENDING ON (variable tables) is not supported", at);
    if (word_is("TIMES")) take();
    if (word_is("DEPENDING")) return fail("OCCURS ... DEPENDING ON (variable tables) is not supported", at);
    // KEY and INDEXED BY phrases name items; they change nothing here.
    while (word_is("ASCENDING") || word_is("DESCENDING") || word_is("INDEXED")) {
      take();
      while (word_is("KEY") || word_is("IS") || word_is("BY")) take();
      while (peek().kind == TokenKind::kWord && !is_clause_word(peek().text) &&
             !word_is("ASCENDING") && !word_is("DESCENDING") && !word_is("INDEXED"))
        take();
    }
    if (item->level == 1) return fail("a record (01) cannot have OCCURS", at);
    item->occurs = count;
    return true;
  }

  // USAGE on an elementary item, and a group's USAGE over its items, must
  // suit the pictures; checked when the whole entry is read.
  bool check_usage(const DataItem& item, const CobolToken& at) {
    if (item.parent < 0) return true;
    const DataItem& group = (*items_)[item.parent];
    if (item.usage_given && group.usage_given && item.usage != group.usage)
      return fail("the USAGE differs from its group's", at);
    return true;
  }

  const std::vector<CobolToken>& t_;
  std::vector<DataItem>* items_;
  LayoutError* error_;
  size_t pos_ = 0;
  std::vector<int> open_;
};

}  // namespace

bool parse_copybook(const std::vector<CobolToken>& tokens, std::vector<DataItem>* items,
                    LayoutError* error) {
  items->clear();
  return Parser(tokens, items, error).run();
}

}  // namespace zara_layout

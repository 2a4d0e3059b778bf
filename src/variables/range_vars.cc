#include "variables/range_vars.h"

#include "support/text.h"

namespace zarn {

RangeVarStore::RangeVarStore() : epoch_(NewStoreEpoch()) {}

size_t RangeVarStore::KeyIndex(std::string_view name) const {
  return recent_.Find(name, index_, epoch_, kNone);
}

void RangeVarStore::SetRangeVar(const RangeVarRec& rec) {
  const size_t index = KeyIndex(rec.name);
  if (index != kNone) {
    TR& r = ranges_[index];
    if (r.name != rec.name) {
      r.name = rec.name;
      epoch_ = NewStoreEpoch();  // exact lookups may now answer otherwise
    }
    r.startpos = rec.startpos;
    r.length = rec.length;
    return;
  }
  index_.emplace(AsciiUpper(rec.name), ranges_.size());
  ranges_.push_back(TR{rec.name, rec.startpos, rec.length});
  epoch_ = NewStoreEpoch();
}

void RangeVarStore::SetRangeVar(const VarName& name, int32_t startpos,
                                int32_t length) {
  const NameSlot& slot = Lookup(name);
  if (!slot.exact) {
    SetRangeVar(RangeVarRec{name.str(), startpos, length});
    return;
  }
  TR& r = ranges_[slot.index];
  r.startpos = startpos;
  r.length = length;
}

int32_t RangeVarStore::FindRangeVar(std::string_view name) const {
  const size_t index = KeyIndex(name);
  if (index == kNone || ranges_[index].name != name) return 0;
  return static_cast<int32_t>(index + 1);
}

RangeVarRec RangeVarStore::GetRangeVar(std::string_view name) const {
  const size_t index = KeyIndex(name);
  if (index == kNone) return RangeVarRec{"?", 0, 0};
  const TR& r = ranges_[index];
  return RangeVarRec{r.name, r.startpos, r.length};
}

RangeVarRec RangeVarStore::GetRangeVarAt(int32_t pos) const {
  if (pos < 1 || pos > Count()) return RangeVarRec{"?", 0, 0};
  const TR& r = ranges_[static_cast<size_t>(pos - 1)];
  return RangeVarRec{r.name, r.startpos, r.length};
}

void RangeVarStore::RemoveRangeVars(std::string_view prefix) {
  size_t kept = 0;
  for (size_t i = 0; i < ranges_.size(); ++i) {
    if (std::string_view(ranges_[i].name).substr(0, prefix.size()) == prefix) {
      continue;
    }
    if (kept != i) ranges_[kept] = std::move(ranges_[i]);
    ++kept;
  }
  if (kept == ranges_.size()) return;
  ranges_.resize(kept);
  Reindex();
}

void RangeVarStore::Reindex() {
  epoch_ = NewStoreEpoch();
  index_.clear();
  for (size_t i = 0; i < ranges_.size(); ++i) {
    index_.emplace(AsciiUpper(ranges_[i].name), i);
  }
}

std::string_view RangeText(const RangeVarRec& rec, std::string_view file_text) {
  if (rec.name == "?" || rec.length <= 0 || rec.startpos <= 0) return {};
  size_t start = static_cast<size_t>(rec.startpos) - 1;
  if (start >= file_text.size()) return {};
  return file_text.substr(start, static_cast<size_t>(rec.length));
}

void AppendRangeText(const RangeVarRec& rec, const FileText& file_text,
                     std::string* out) {
  if (rec.name == "?" || rec.length <= 0 || rec.startpos <= 0) return;
  size_t from = static_cast<size_t>(rec.startpos) - 1;
  size_t length = static_cast<size_t>(rec.length);
  if (file_text.utf8()) {
    // Characters to bytes; the end first, as a scan moves forward.
    const size_t end = file_text.ByteOfChar(from + length);
    from = file_text.ByteOfChar(from);
    length = end - from;
  }
  file_text.AppendTo(from, length, out);
}

std::string RangeVarStore::DumpRangeVars(std::string_view name,
                                         std::string_view head,
                                         std::string_view indent,
                                         const FileText& file_text) const {
  std::string out = "\r\n";
  const bool all = name == "=all=";
  for (const TR& r : ranges_) {
    if (!all && r.name != name) continue;
    out.append(head);
    out.append("[");
    out.append(r.name);
    out.append("]: ");
    out.append(std::to_string(r.startpos));
    out.append(", ");
    out.append(std::to_string(r.length));
    out.append("\r\n");
    out.append(indent);
    std::string text;
    AppendRangeText(RangeVarRec{r.name, r.startpos, r.length}, file_text,
                    &text);
    AppendIndented(&out, text, indent);
    out.append("\r\n");
    if (!all) break;
  }
  return out;
}

}  // namespace zarn

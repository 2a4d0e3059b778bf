#include "variables/range_vars.h"

#include "support/text.h"

namespace zarn {

void RangeVarStore::SetRangeVar(const RangeVarRec& rec) {
  std::string key = AsciiUpper(rec.name);
  auto it = index_.find(key);
  if (it != index_.end()) {
    TR& r = ranges_[it->second];
    r.name = rec.name;
    r.startpos = rec.startpos;
    r.length = rec.length;
    return;
  }
  index_.emplace(std::move(key), ranges_.size());
  ranges_.push_back(TR{rec.name, rec.startpos, rec.length});
}

int32_t RangeVarStore::FindRangeVar(std::string_view name) const {
  auto it = index_.find(AsciiUpper(name));
  if (it == index_.end() || ranges_[it->second].name != name) return 0;
  return static_cast<int32_t>(it->second + 1);
}

RangeVarRec RangeVarStore::GetRangeVar(std::string_view name) const {
  auto it = index_.find(AsciiUpper(name));
  if (it == index_.end()) return RangeVarRec{"?", 0, 0};
  const TR& r = ranges_[it->second];
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
    if (std::string_view(ranges_[i].name).substr(0, prefix.size()) ==
        prefix) {
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
  index_.clear();
  for (size_t i = 0; i < ranges_.size(); ++i) {
    index_.emplace(AsciiUpper(ranges_[i].name), i);
  }
}

std::string_view RangeText(const RangeVarRec& rec,
                           std::string_view file_text) {
  if (rec.name == "?" || rec.length <= 0 || rec.startpos <= 0) return {};
  size_t start = static_cast<size_t>(rec.startpos) - 1;
  if (start >= file_text.size()) return {};
  return file_text.substr(start, static_cast<size_t>(rec.length));
}

std::string RangeVarStore::DumpRangeVars(std::string_view name,
                                         std::string_view head,
                                         std::string_view indent,
                                         std::string_view file_text) const {
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
    std::string_view text =
        RangeText(RangeVarRec{r.name, r.startpos, r.length}, file_text);
    AppendIndented(&out, text, indent);
    out.append("\r\n");
    if (!all) break;
  }
  return out;
}

}  // namespace zarn

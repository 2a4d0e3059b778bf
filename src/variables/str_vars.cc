#include "variables/str_vars.h"

#include "support/text.h"

namespace zarn {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

}  // namespace

StrVarStore::StrVarStore() : file_text_index_(kNone) {}

void StrVarStore::Set(std::string_view name, std::string value) {
  std::string key = AsciiUpper(name);
  auto it = index_.find(key);
  size_t index;
  if (it != index_.end()) {
    index = it->second;
    vars_[index].name.assign(name);
  } else {
    index = vars_.size();
    vars_.push_back(TS{std::string(name), std::string()});
    index_.emplace(key, index);
    if (EqualsIgnoreCase(name, kFileStringName)) file_text_index_ = index;
  }
  if (index == file_text_index_) {
    file_text_.Assign(std::move(value));
  } else {
    vars_[index].value = std::move(value);
  }
}

int32_t StrVarStore::FindStrVar(std::string_view name) const {
  auto it = index_.find(AsciiUpper(name));
  if (it == index_.end() || vars_[it->second].name != name) return 0;
  return static_cast<int32_t>(it->second + 1);
}

std::string_view StrVarStore::ValueAt(size_t index) const {
  if (index == file_text_index_) return file_text_.view();
  return vars_[index].value;
}

StrVarRec StrVarStore::GetStrVar(std::string_view name) const {
  auto it = index_.find(AsciiUpper(name));
  if (it == index_.end()) return StrVarRec{"?", ""};
  return StrVarRec{vars_[it->second].name, std::string(ValueAt(it->second))};
}

std::optional<std::string_view> StrVarStore::ValueOf(
    std::string_view name) const {
  auto it = index_.find(AsciiUpper(name));
  if (it == index_.end()) return std::nullopt;
  return ValueAt(it->second);
}

std::optional<std::string_view> StrVarStore::ExactValueOf(
    std::string_view name) const {
  auto it = index_.find(AsciiUpper(name));
  if (it == index_.end() || vars_[it->second].name != name) {
    return std::nullopt;
  }
  return ValueAt(it->second);
}

StrVarRec StrVarStore::GetStrVarAt(int32_t pos) const {
  if (pos < 1 || pos > Count()) return StrVarRec{"?", ""};
  size_t index = static_cast<size_t>(pos - 1);
  return StrVarRec{vars_[index].name, std::string(ValueAt(index))};
}

std::string StrVarStore::DumpStrVars(std::string_view name,
                                     std::string_view head,
                                     std::string_view indent) const {
  std::string out = "\r\n";
  const bool all = name == "=all=";
  for (size_t i = 0; i < vars_.size(); ++i) {
    if (!all && vars_[i].name != name) continue;
    out.append(head);
    out.append("[");
    out.append(vars_[i].name);
    out.append("]: \r\n");
    out.append(indent);
    AppendIndented(&out, ValueAt(i), indent);
    out.append("\r\n");
    if (!all) break;
  }
  return out;
}

FileText& StrVarStore::file_text() {
  if (file_text_index_ == kNone) Set(kFileStringName, std::string());
  return file_text_;
}

}  // namespace zarn

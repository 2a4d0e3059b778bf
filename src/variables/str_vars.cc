#include "variables/str_vars.h"

#include <charconv>

#include "support/text.h"

namespace zarn {

StrVarStore::StrVarStore() : epoch_(NewStoreEpoch()), file_text_index_(kNone) {}

size_t StrVarStore::KeyIndex(std::string_view name) const {
  return recent_.Find(name, index_, epoch_, kNone);
}

void StrVarStore::Remember(const VarName& name, NameSlot& slot) const {
  const size_t index = KeyIndex(name.str());
  slot.index = index;
  slot.exact = index != kNone && vars_[index].name == name.str();
  slot.epoch = name.symbol() == 0 ? 0 : epoch_;
  slot.exact_epoch = slot.exact ? slot.epoch : 0;
}

size_t StrVarStore::Slot(size_t index, std::string_view name) {
  if (index != kNone) {
    if (!ShortTextEquals(vars_[index].name, name)) {
      vars_[index].name.assign(name);
      epoch_ = NewStoreEpoch();  // exact lookups may now answer otherwise
    }
    return index;
  }
  // name may view a value of the store; it is read before vars_ grows.
  index = vars_.size();
  const bool is_file_text = EqualsIgnoreCase(name, kFileStringName);
  index_.emplace(AsciiUpper(name), index);
  vars_.push_back(TS{std::string(name), std::string()});
  specials_.push_back(Special{});
  epoch_ = NewStoreEpoch();
  if (is_file_text) file_text_index_ = index;
  return index;
}

template <typename Name>
void StrVarStore::SetValue(const Name& name, std::string value) {
  const size_t index = Slot(KeyIndex(name), Text(name));
  if (index == file_text_index_) {
    file_text_.Assign(std::move(value));
  } else {
    vars_[index].value = std::move(value);
    specials_[index].SetText(vars_[index].value);
  }
}

template <typename Name>
void StrVarStore::AssignValue(const Name& name, std::string_view value) {
  const size_t found = KeyIndex(name);
  if (found == kNone) {
    SetValue(name, std::string(value));
    return;
  }
  const size_t index = Slot(found, Text(name));
  if (index == file_text_index_) {
    file_text_.AssignCopy(value);
  } else {
    // value may view this variable's own digits: copied before they go.
    vars_[index].value.assign(value);
    specials_[index].SetText(vars_[index].value);
  }
}

template <typename Name>
void StrVarStore::SetNumberValue(const Name& name, int64_t number) {
  const size_t found = KeyIndex(name);
  if (found == kNone || found == file_text_index_) {
    SetValue(name, std::to_string(number));
    return;
  }
  const size_t index = Slot(found, Text(name));
  specials_[index].SetNumber(number);
}

void StrVarStore::Set(std::string_view name, std::string value) {
  SetValue(name, std::move(value));
}

void StrVarStore::Assign(std::string_view name, std::string_view value) {
  AssignValue(name, value);
}

void StrVarStore::SetNumber(std::string_view name, int64_t number) {
  SetNumberValue(name, number);
}

int32_t StrVarStore::FindStrVar(std::string_view name) const {
  const size_t index = KeyIndex(name);
  if (index == kNone || !ShortTextEquals(vars_[index].name, name)) return 0;
  return static_cast<int32_t>(index + 1);
}

std::string_view StrVarStore::SpecialValueAt(size_t index) const {
  if (index == file_text_index_) return file_text_.view();
  Special& special = specials_[index];
  switch (special.kind) {
    case kText:
      break;
    case kBorrowed:
      return special.borrowed;
    case kNumber: {
      char* const begin = special.digits;
      const auto [end, ec] =
          std::to_chars(begin, begin + sizeof special.digits, special.value);
      (void)ec;
      special.digits_size = static_cast<uint8_t>(end - begin);
      special.kind = kNumberWritten;
      [[fallthrough]];
    }
    case kNumberWritten:
      return std::string_view(special.digits, special.digits_size);
  }
  return vars_[index].value;
}

void StrVarStore::OwnBorrowed() {
  for (size_t i = 0; i < vars_.size(); ++i) {
    Special& special = specials_[i];
    if (special.kind == kBorrowed) {
      vars_[i].value.assign(special.borrowed);
      special.kind = kText;
    }
  }
}

StrVarRec StrVarStore::GetStrVar(std::string_view name) const {
  const size_t index = KeyIndex(name);
  if (index == kNone) return StrVarRec{"?", ""};
  return StrVarRec{vars_[index].name, std::string(ValueAt(index))};
}

std::optional<std::string_view> StrVarStore::ValueOf(
    std::string_view name) const {
  const size_t index = KeyIndex(name);
  if (index == kNone) return std::nullopt;
  return ValueAt(index);
}

std::optional<std::string_view> StrVarStore::ExactValueOf(
    std::string_view name) const {
  const size_t index = KeyIndex(name);
  if (index == kNone || !ShortTextEquals(vars_[index].name, name)) {
    return std::nullopt;
  }
  return ValueAt(index);
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

// The slow paths of the inline members taking a VarName.
template void StrVarStore::AssignValue<VarName>(const VarName&,
                                                std::string_view);
template void StrVarStore::SetNumberValue<VarName>(const VarName&, int64_t);
template void StrVarStore::SetValue<VarName>(const VarName&, std::string);

FileText& StrVarStore::file_text() {
  if (file_text_index_ == kNone) Set(kFileStringName, std::string());
  return file_text_;
}

}  // namespace zarn

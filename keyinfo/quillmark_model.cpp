#include "keyinfo/quillmark_model.h"

#include "keyinfo/details_page.h"
#include "keyinfo/passkeys_page.h"

bool keyHasPin = false;

namespace {

const std::vector<std::string> kItemValueColumns = {"Item", "Value"};
const std::vector<int> kItemValueTenths = {3, 7};

}  // namespace

QuillmarkModel::QuillmarkModel() {
  pages_ = {
      {"Hardware info", kItemValueColumns, kItemValueTenths, false, &QuillmarkModel::infoList},
      {"FIDO2 Certification", kItemValueColumns, kItemValueTenths, false,
       &QuillmarkModel::fido2List},
      {"U2F Certification", kItemValueColumns, kItemValueTenths, false, &QuillmarkModel::u2fList},
      {"Security Key info",
       {"Tag", "Length", "Value", "Tag Definition", "Value Definition"},
       {1, 1, 2, 2, 5},
       true,
       &QuillmarkModel::securityKeyList},
  };
  // The pages beyond the seed's follow here, one AddPage line each, in the
  // order the window shows them.
  AddPage(DETAILS_PAGE_CAPTION, kItemValueColumns, kItemValueTenths);
  AddPage(PASSKEYS_PAGE_CAPTION, kItemValueColumns, kItemValueTenths);
  AddPage("Metadata", kItemValueColumns, kItemValueTenths);
  // Empty unless a key was checked against a policy.
  AddPage("Policy", kItemValueColumns, kItemValueTenths);
}

void QuillmarkModel::AddPage(const std::string& caption, const std::vector<std::string>& columns,
                             const std::vector<int>& columnTenths) {
  addedLists_.emplace_back();
  pages_.push_back({caption, columns, columnTenths, false, nullptr, addedLists_.size() - 1});
}

ReportList& QuillmarkModel::PageList(size_t page) {
  const ModelPage& entry = pages_.at(page);
  return entry.namedList != nullptr ? this->*entry.namedList : addedLists_.at(entry.addedIndex);
}

const ReportList& QuillmarkModel::PageList(size_t page) const {
  const ModelPage& entry = pages_.at(page);
  return entry.namedList != nullptr ? this->*entry.namedList : addedLists_.at(entry.addedIndex);
}

bool QuillmarkModel::PageShown(size_t page) const {
  return !pages_.at(page).onlyWithSecurityKeyInfo || securityKeyInfoEnabled;
}

std::vector<size_t> QuillmarkModel::ShownPages() const {
  std::vector<size_t> shown;
  for (size_t page = 0; page < pages_.size(); ++page) {
    if (PageShown(page)) shown.push_back(page);
  }
  return shown;
}

ReportList* QuillmarkModel::FindPage(const std::string& caption) {
  for (size_t page = 0; page < pages_.size(); ++page) {
    if (pages_[page].caption == caption) return &PageList(page);
  }
  return nullptr;
}

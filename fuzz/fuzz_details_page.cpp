// Builds the "Details" page from arbitrary bytes as the GetInfo answer, held
// in a heap block of exactly their size, and checks that every cell stays
// within its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "keyinfo/details_page.h"
#include "keyinfo/getinfo_members.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size != 0) std::memcpy(block.get(), data, size);

  QuillmarkModel model;
  DetailsFacts facts;
  facts.getInfo = block.get();
  facts.getInfoLength = size;
  if (size > 0) {
    facts.init.known = true;
    facts.init.capabilities = data[0];
  }
  ShowDetailsPage(model, facts);
  const ReportList& list = DetailsList(model);
  for (size_t row = 0; row < list.RowCount(); ++row) {
    if (list.Cell(row, 0).size() > DETAILS_VALUE_LIMIT + 3) std::abort();
    if (list.Cell(row, 1).size() > DETAILS_ANSWER_LIMIT + 3) std::abort();
  }
  return 0;
}

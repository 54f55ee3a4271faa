#include "data/card_integrity.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "data/entry.h"

namespace {

// How many entries have the same three names as another one before them. Positions
// are sorted by name, not copies of the names: a book of millions is held once.
size_t sameNamesAsEarlier(const std::vector<Entry>& found) {
    auto names = [&found](size_t i) {
        return std::tie(found[i].lastName, found[i].firstName, found[i].middleName);
    };
    std::vector<size_t> byName(found.size());
    std::iota(byName.begin(), byName.end(), size_t{0});
    std::sort(byName.begin(), byName.end(),
              [&](size_t a, size_t b) { return names(a) < names(b); });
    size_t same = 0;
    for (size_t i = 1; i < byName.size(); ++i) same += names(byName[i]) == names(byName[i - 1]);
    return same;
}

}  // namespace

IntegrityReport inspectEntries(const std::vector<Entry>& found,
                               const CardFileDecoder::Statistics& records, size_t bytes,
                               const UndefinedBytes& undefined) {
    IntegrityReport report;
    report.bytes = bytes;
    report.records = records;
    for (size_t i = 0; i < found.size(); ++i) {
        const Entry& e = found[i];
        // An empty sex is what an import of a contact without one stores.
        if (!e.sex.empty() && e.sex != kMale && e.sex != kFemale) ++report.sexNeitherMaleNorFemale;
        if (i > 0 && entryLess(e, found[i - 1])) ++report.outOfLastNameOrder;
        for (const std::string* field : fieldsOf(e))
            for (char c : *field)
                report.undefinedBytes += undefined.byte[static_cast<unsigned char>(c)];
    }
    report.sameNamesAsEarlier = sameNamesAsEarlier(found);
    return report;
}

#include "data/card_integrity.h"

#include <set>
#include <tuple>
#include <vector>

#include "data/entry.h"

IntegrityReport inspectCardFileBytes(const std::string& fileBytes,
                                     const UndefinedBytes& undefined) {
    IntegrityReport report;
    report.bytes = fileBytes.size();
    std::vector<Entry> found;
    CardFileDecoder decoder(found);
    decoder.feed(fileBytes.data(), fileBytes.size());
    decoder.finish();
    report.records = decoder.statistics();

    std::set<std::tuple<std::string, std::string, std::string>> names;
    for (size_t i = 0; i < found.size(); ++i) {
        const Entry& e = found[i];
        // An empty sex is what an import of a contact without one stores.
        if (!e.sex.empty() && e.sex != kMale && e.sex != kFemale) ++report.sexNeitherMaleNorFemale;
        if (i > 0 && entryLess(e, found[i - 1])) ++report.outOfLastNameOrder;
        names.emplace(e.lastName, e.firstName, e.middleName);
        for (const std::string* field : fieldsOf(e))
            for (char c : *field)
                report.undefinedBytes += undefined.byte[static_cast<unsigned char>(c)];
    }
    report.sameNamesAsEarlier = found.size() - names.size();
    return report;
}

// Feeds arbitrary bytes to the text import's splitter and checks what must always hold: lines
// hold no line end and no NUL, every line that is not blank yields one user with a usable
// login (or the whole text is refused and nothing is added), and fields written back quoted
// split into the same fields. Split by one separator character, a line's fields hold no such
// separator outside quotes, and the look at the whole text names only lines that exist.

#include "../tests/support/QuoteFields.h"
#include "base/Errors.h"
#include "userdb/CSVImport.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace quorvane;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = SplitImportLines(text);

    size_t total = 0;
    for (const std::string& line : lines) {
        Check(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        total += line.size();

        const std::vector<std::string> fields = SplitImportFields(line);
        size_t fieldBytes = 0;
        for (const std::string& field : fields)
            fieldBytes += field.size();
        Check(fieldBytes <= line.size());
        Check(fields.size() <= line.size());
        Check(SplitImportFields(QuoteFields(fields)) == fields);
        Check(ImportField(fields, static_cast<int>(fields.size())).empty());
    }
    Check(total + lines.size() <= size + 1);

    for (const TImportSeparator separator : {TImportSeparator::Comma, TImportSeparator::Semicolon,
                                             TImportSeparator::Tab, TImportSeparator::Blank}) {
        for (const std::string& line : lines) {
            const std::vector<std::string> fields = SplitImportFields(line, separator);
            // Quotes aside, a field is a part of its line.
            size_t fieldBytes = 0;
            for (const std::string& field : fields)
                fieldBytes += field.size();
            Check(fieldBytes <= line.size());
        }
        const TImportAnalysis analysis = AnalyseImport(text, separator);
        Check(analysis.HeaderLine == 0 || analysis.HeaderLine == 1);
        for (const TImportLineProblem& problem : analysis.Problems) {
            Check(problem.Line >= 1 && static_cast<size_t>(problem.Line) <= lines.size());
            Check(problem.Line != analysis.HeaderLine);
            Check(problem.OtherLine >= 0 && static_cast<size_t>(problem.OtherLine) <= lines.size());
        }
    }

    if (size <= 4096) {
        std::vector<std::vector<std::string>> rows;
        bool usable = true;
        for (const std::string& line : lines) {
            std::vector<std::string> fields = SplitImportFields(line);
            if (fields.empty()) continue; // blank lines are skipped
            usable = usable && CheckLogin(fields[0]) == TLoginProblem::None;
            rows.push_back(std::move(fields));
        }
        TUserList list;
        try {
            Check(ImportUsersFromText(text, list) == static_cast<int>(rows.size()));
            Check(usable);
        } catch (const EQuorvaneError&) {
            Check(!usable);
            Check(list.Count() == 0);
            return 0;
        }
        Check(list.Count() == static_cast<int>(rows.size()));
        for (int i = 0; i < list.Count(); ++i) {
            const std::vector<std::string>& fields = rows[static_cast<size_t>(i)];
            Check(list.Users(i).Login == ImportField(fields, 0));
            Check(list.Users(i).FullName == ImportField(fields, 3));
        }
    }
    return 0;
}

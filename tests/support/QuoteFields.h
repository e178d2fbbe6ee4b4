#pragma once
// An import line that the field splitter gives back as exactly these fields: every field
// quoted, quotes doubled. Shared by the import tests and the splitter's fuzz target.

#include <string>
#include <vector>

inline std::string QuoteFields(const std::vector<std::string>& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += '"';
        for (char c : fields[i]) {
            if (c == '"') line += '"';
            line += c;
        }
        line += '"';
    }
    return line;
}

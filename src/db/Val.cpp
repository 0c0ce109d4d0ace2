#include "db/Val.h"

#include <cstdlib>
#include <string>

namespace kovrin {

double vbVal(const QString& text) {
    std::string s;
    s.reserve(static_cast<size_t>(text.size()));
    bool seenDigit = false, seenPoint = false, seenExp = false, expDigit = false;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
            continue;
        }
        if (c >= u'0' && c <= u'9') {
            s.push_back(static_cast<char>(c));
            (seenExp ? expDigit : seenDigit) = true;
        } else if ((c == u'+' || c == u'-') && (s.empty() || (seenExp && (s.back() == 'E')))) {
            s.push_back(static_cast<char>(c));
        } else if (c == u'.' && !seenPoint && !seenExp) {
            s.push_back('.');
            seenPoint = true;
        } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D') && seenDigit && !seenExp) {
            s.push_back('E');
            seenExp = true;
        } else {
            break;
        }
    }
    if (seenExp && !expDigit) {
        // "12E" or "12E+": the exponent is incomplete and ignored.
        while (!s.empty() && (s.back() == 'E' || s.back() == '+' || s.back() == '-')) {
            s.pop_back();
        }
    }
    if (!seenDigit) {
        return 0.0;
    }
    return std::strtod(s.c_str(), nullptr);
}

}  // namespace kovrin

#include "standins/service/form.hpp"

namespace service_standin {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

FormFields decodeForm(std::string_view body) {
    FormFields fields;
    std::size_t pos = 0;
    while (pos <= body.size()) {
        std::size_t end = body.find('&', pos);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view part = body.substr(pos, end - pos);
        if (!part.empty()) {
            const std::size_t eq = part.find('=');
            if (eq == std::string_view::npos)
                fields.emplace_back(percentDecode(part), std::string());
            else
                fields.emplace_back(percentDecode(part.substr(0, eq)), percentDecode(part.substr(eq + 1)));
        }
        pos = end + 1;
    }
    return fields;
}

const std::string* formValue(const FormFields& fields, std::string_view name) {
    for (const auto& [key, value] : fields)
        if (key == name) return &value;
    return nullptr;
}

}  // namespace service_standin

#include "util/nwtools.h"

#include <cstdio>

#include "common/nwtext.h"

namespace {

bool IsTrailingBlank(char c)
{
    return c == ' ' || c == '\0' || c == '\1' || c == '\2';
}

}  // namespace

std::string TrimLeading(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::string TrimTrailing(const std::string& text)
{
    std::size_t end = text.size();
    while (end > 0 && IsTrailingBlank(text[end - 1]))
        --end;
    return text.substr(0, end);
}

std::string TrimBoth(const std::string& text)
{
    return TrimLeading(TrimTrailing(text));
}

std::string ExtractToken(const std::string& text, char delimiter, int n)
{
    std::string rest = TrimBoth(text);
    if (n <= 1) {
        const auto pos = rest.find(delimiter);
        return pos == std::string::npos ? rest : TrimBoth(rest.substr(0, pos));
    }
    if (CountChar(text, delimiter) + 1 < n)
        return {};

    // Drop the n-1 tokens in front of the wanted one. Each step trims what is
    // left, which may swallow blank delimiters (or the count above may have
    // matched the delimiter in the other letter case): when the delimiters run
    // out early the token does not exist, rather than repeating the last one.
    for (int i = 1; i < n; ++i) {
        const auto pos = rest.find(delimiter);
        if (pos == std::string::npos)
            return {};
        rest = TrimBoth(rest.substr(pos + 1));
    }
    const auto pos = rest.find(delimiter);
    return pos == std::string::npos ? rest : TrimBoth(rest.substr(0, pos));
}

int CountChar(const std::string& text, char ch)
{
    const char wanted = nwtext::UpperChar(ch);
    int count = 0;
    for (char c : text)
        if (nwtext::UpperChar(c) == wanted)
            ++count;
    return count;
}

std::string LeftStr(const std::string& text, int n)
{
    if (n <= 0)
        return {};
    return text.substr(0, static_cast<std::size_t>(n));
}

std::string ChooseStr(bool flag, const std::string& whenTrue, const std::string& whenFalse)
{
    return flag ? whenTrue : whenFalse;
}

std::string ReplaceText(const std::string& text, const std::string& search,
                        const std::string& replacement)
{
    if (search.empty())
        return text;
    std::string pattern = search;
    for (char& c : pattern)
        c = nwtext::UpperChar(c);

    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        bool match = text.size() - pos >= pattern.size();
        for (std::size_t k = 0; match && k < pattern.size(); ++k)
            match = nwtext::UpperChar(text[pos + k]) == pattern[k];
        if (match) {
            result += replacement;
            pos += pattern.size();
        } else {
            result += text[pos];
            ++pos;
        }
    }
    return result;
}

std::string Spaces(uint16_t n)
{
    return std::string(n, ' ');
}

std::string HexCode(int32_t code)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(static_cast<uint32_t>(code)));
    return buffer;
}

// Text utilities shared by the component library: trimming, token extraction,
// case-insensitive replacement, completion-code texts and the two message boxes.
//
// All strings are 8-bit text in the workstation's code page. "Case-insensitive"
// folds only the ASCII letters a to z; every other byte compares unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Text without its leading spaces (only character 32 counts as blank here).
std::string TrimLeading(const std::string& text);

// Text without its trailing blanks: spaces and the characters 0, 1 and 2.
std::string TrimTrailing(const std::string& text);

// TrimLeading(TrimTrailing(text)).
std::string TrimBoth(const std::string& text);

// The n-th token (1-based) of text between occurrences of delimiter, trimmed
// with TrimBoth. n <= 1 gives the first token; a token that does not exist
// gives the empty text.
std::string ExtractToken(const std::string& text, char delimiter, int n);

// Number of positions holding ch, compared case-insensitively.
int CountChar(const std::string& text, char ch);

// The first n characters of text (all of them when it is shorter; none for n <= 0).
std::string LeftStr(const std::string& text, int n);

// whenTrue if flag is set, else whenFalse.
std::string ChooseStr(bool flag, const std::string& whenTrue, const std::string& whenFalse);

// text with every case-insensitive occurrence of search replaced by replacement.
// The replacement is inserted as given and never rescanned. An empty search
// text leaves the text unchanged.
std::string ReplaceText(const std::string& text, const std::string& search,
                        const std::string& replacement);

// n space characters.
std::string Spaces(uint16_t n);

// A completion code as upper-case hexadecimal of at least four digits; negative
// codes appear as their 32-bit two's complement (-1 -> "FFFFFFFF").
std::string HexCode(int32_t code);

// Modal message boxes for the operator. In the message every ";" starts a new
// line. Defined in nwtoolsdlg.cpp (Qt); must run on the user-interface thread.
void ShowInfo(const std::string& message);
void ShowError(const std::string& message);

// Replaces the two message boxes, e.g. in tests: while a hook is set no box is
// shown and the hook receives the final text (";" already turned into line feeds).
// Pass an empty function to show real boxes again.
using MessageBoxHook = std::function<void(bool isError, const std::string& text)>;
void SetMessageBoxHook(MessageBoxHook hook);

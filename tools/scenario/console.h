// What tarvel-check prints for the user who runs it: Japanese when the
// user's language for Windows is Japanese, English otherwise; UTF-16 to a
// console (so Japanese shows whatever the console's code page), UTF-8 when
// the output goes to a file or a pipe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvel::driver {

class Console {
public:
    enum class Language { English, Japanese };

    // In the user's UI language.
    Console();
    explicit Console(Language language) : language_(language) {}

    // "--lang ja" or "--lang en" chose the language; false for other words.
    bool Choose(std::wstring_view word);
    bool Japanese() const { return language_ == Language::Japanese; }

    // The text in the chosen language.
    const wchar_t* Say(const wchar_t* english, const wchar_t* japanese) const {
        return Japanese() ? japanese : english;
    }

    void Print(std::wstring_view text) const;

    // Started by a double-click, the program has its console window to
    // itself and the window closes with it: the user is asked to press
    // Enter first, so what was printed can be read. Does nothing in a
    // command prompt, or when the input is not a console.
    void HoldIfOwnWindow() const;

private:
    Language language_;
};

// How many console columns the text takes: two for a wide (CJK,
// full-width) character, one for the others.
std::size_t Columns(std::wstring_view text);

// The text and blanks up to `columns` console columns, at least two blanks.
std::wstring Padded(std::wstring text, std::size_t columns);

}  // namespace tarvel::driver

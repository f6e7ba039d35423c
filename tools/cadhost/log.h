// Where the host reports: the JSON Lines log that the tests read, the
// interpreter's events written to it, and messages to the user.
#pragma once

#include <string>

#include "tools/cadhost/files.h"
#include "tools/cadhost/interpreter.h"
#include "tools/cadhost/record.h"

namespace cadhost {

// Messages to the user: to the inherited standard error when there is one
// (a console, a pipe or a file), else to the parent's console, else in a
// message box, since a GUI program may have none of them.
void Tell(const std::u16string& text, bool error);

// The JSON Lines log: one object a line, "kind" first, flushed line by line
// so a reader sees every event as soon as it happened.
class Log {
public:
    bool Open(const std::u16string& path, bool times);
    void Write(const std::string& kind, const Record& fields = Record::object());
    void Close() { file_.reset(); }

private:
    File file_;
    bool times_ = false;
};

// The interpreter's events as log records.
class Events : public InterpreterEvents {
public:
    explicit Events(Log& log) : log_(log) {}
    void OnHistory(const std::u16string& line) override { log_.Write("history", {{"text", ToUtf8(line)}}); }
    void OnPrompt(const std::u16string& prompt) override { log_.Write("prompt", {{"text", ToUtf8(prompt)}}); }
    void OnComplaint(const std::u16string& text) override { log_.Write("complaint", {{"text", ToUtf8(text)}}); }
    void OnCancel(const std::u16string& line) override;
    void OnIdentified(const Point& p) override { log_.Write("identified", {{"point", PointJson(p)}}); }
    void OnDimension(const Dimension& d) override;

    // Who is acting on the interpreter now.
    void SetSource(const char* source) { source_ = source; }

private:
    Log& log_;
    std::string source_ = "typed";
    int count_ = 0;
};

}  // namespace cadhost

// The command line of the CAD host: characters come in as if typed, and it
// answers as a Japanese AutoCAD does: prompts, history lines, complaints.
// Portable: no <windows.h>; the window code feeds it and shows its state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cadhost/text.h"

namespace cadhost {

enum class Direction { H, V };

struct Dimension {
    Point p1;
    Point p2;
    Point pos;
    Direction dir = Direction::H;
    std::optional<std::u16string> text;  // the T option's text, "<>" = measured
    double measurement = 0;
};

// Where a pick, a right-click or an Esc came from.
enum class Source { Script, Mouse };

// What the interpreter tells the outside world, in the order it happens.
class InterpreterEvents {
public:
    virtual ~InterpreterEvents() = default;
    virtual void OnHistory(const std::u16string& /*line*/) {}
    virtual void OnPrompt(const std::u16string& /*prompt*/) {}
    virtual void OnComplaint(const std::u16string& /*text*/) {}
    virtual void OnIdentified(const Point& /*p*/) {}
    virtual void OnCancel(const std::u16string& /*line*/) {}
    virtual void OnDimension(const Dimension& /*d*/) {}
};

class Interpreter {
public:
    explicit Interpreter(InterpreterEvents* events = nullptr);

    // Characters as typed: Ctrl-C (3) and Esc (27) cancel, backspace (8)
    // deletes, carriage return and line feed end an answer, and so does a
    // blank except in a free-text prompt.
    void Type(std::u16string_view text);

    // A point picked in the drawing (left button). False when the current
    // prompt takes no point; nothing happens then.
    bool Pick(const Point& p);
    // The right button: ends the answer like a carriage return.
    void RightClick();
    // Esc pressed.
    void Escape();

    // What the prompt line shows: the current prompt and what is typed so far.
    std::u16string PromptLine() const;
    const std::u16string& Prompt() const { return prompt_; }
    // Committed history lines, oldest first; the current prompt is not one.
    const std::vector<std::u16string>& History() const { return history_; }
    // The history as the text window copies it: lines joined by CR LF.
    std::u16string HistoryText() const;

    bool Idle() const { return step_ == Step::Idle; }
    // The ID command is waiting for its point (the pick script answers it).
    bool InIdPrompt() const { return step_ == Step::IdPoint; }
    // The current prompt takes a point (mouse picks go there).
    bool WantsPoint() const;
    // Grows by one whenever a new prompt is shown, so a pick that was
    // scheduled for one prompt is not given to a later one.
    std::uint64_t PromptSerial() const { return serial_; }

    const Point& LastPoint() const { return lastpoint_; }
    const std::vector<Dimension>& Dimensions() const { return dimensions_; }
    const std::vector<Point>& Identified() const { return identified_; }

    // Faults for the reliability tests. The LASTPOINT value that 'SETVAR
    // shows, as a template ({x}, {y}, {z} stand for the coordinates); and
    // the number of blanks added to the prompt of ID and inside the "<" of
    // SETVAR's value prompt.
    void SetLastPointText(std::optional<std::u16string> templ) { lastpoint_text_ = std::move(templ); }
    void SetPromptPad(size_t blanks) { prompt_pad_ = blanks; }

    // Longest answer kept; beyond it the answer is refused.
    static constexpr size_t kMaxAnswer = 4096;
    // History lines kept (the oldest go first), as AutoCAD keeps a bounded
    // command history.
    static constexpr size_t kMaxHistory = 20000;

private:
    enum class Step {
        Idle,
        IdPoint,
        SetvarName,
        SetvarValue,
        DimFirst,
        DimObject,
        DimSecond,
        DimPosition,
        DimText,
    };

    struct Variable {
        const char16_t* name;
        enum Kind { PointVar, IntVar, StringVar } kind;
        bool read_only;
    };

    void TypeChar(char16_t c);
    void Submit();
    void Answer(const std::u16string& answer);
    void Cancel();
    void Commit(const std::u16string& line);
    void Complain(const std::u16string& text);
    void Show(Step step);
    void ShowPrompt();
    void BackToIdle();
    void EndSubcommand();
    bool FreeText() const { return step_ == Step::DimText; }

    void RunCommand(const std::u16string& answer);
    void StartCommand(const std::u16string& name, bool transparent);
    void AnswerPoint(const Point& p);
    void AnswerSetvarName(const std::u16string& answer);
    void AnswerSetvarValue(const std::u16string& answer);
    void AnswerDimPosition(const std::u16string& answer);
    void CreateDimension(const Point& pos);

    const Variable* FindVariable(const std::u16string& upper_name) const;
    std::u16string VariableValue(const Variable& v) const;
    std::u16string PromptFor(Step step) const;

    InterpreterEvents* events_;
    Step step_ = Step::Idle;
    // A transparent 'SETVAR runs inside this step, which resumes afterwards.
    std::optional<Step> outer_;
    std::u16string command_;        // the running command, for messages
    std::u16string outer_command_;  // the command a transparent one interrupted
    std::u16string last_command_;   // repeated by an empty answer when idle
    std::u16string prompt_;
    std::u16string typed_;
    bool typed_too_long_ = false;
    std::vector<std::u16string> history_;
    std::uint64_t serial_ = 0;

    Point lastpoint_;
    std::optional<std::u16string> lastpoint_text_;
    size_t prompt_pad_ = 0;
    int dimdec_ = 4;
    int osmode_ = 0;
    std::u16string clayer_ = u"0";
    const Variable* setvar_ = nullptr;
    const Variable* outer_setvar_ = nullptr;

    // The DIMLINEAR being answered.
    Point dim_p1_, dim_p2_;
    std::optional<Direction> dim_dir_;
    std::optional<std::u16string> dim_text_;

    std::vector<Dimension> dimensions_;
    std::vector<Point> identified_;
};

// The measured value of a linear dimension: |dx| when horizontal, |dy| when
// vertical.
double Measure(const Point& p1, const Point& p2, Direction dir);

// The direction AutoCAD chooses when neither H nor V was given: horizontal
// when the dimension line lies above or below the points, vertical when it
// lies beside them, else by the larger extent.
Direction ChooseDirection(const Point& p1, const Point& p2, const Point& pos);

}  // namespace cadhost

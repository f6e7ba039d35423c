#include "tools/cadhost/interpreter.h"

#include "tools/cadhost/options.h"

#include <algorithm>
#include <cmath>

namespace cadhost {

namespace {

const std::u16string kIdlePrompt = u"コマンド: ";
const std::u16string kCancelMark = u"*キャンセル*";
const std::u16string kReadOnlyMark = u" (読み込み専用)";
const std::u16string kNeedPointOrKeyword = u"点または オプション キーワードが必要です。";
const std::u16string kInvalidPoint = u"無効な点です。";

std::u16string Decimal(long long v) {
    const std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
}

// Command and keyword names may carry AutoCAD's "_" (untranslated) and "."
// (built-in) prefixes.
std::u16string StripPrefixes(std::u16string name) {
    size_t i = 0;
    while (i < name.size() && (name[i] == u'_' || name[i] == u'.')) ++i;
    return name.substr(i);
}

bool IsKeyword(const std::u16string& upper, std::initializer_list<const char16_t*> names) {
    for (const char16_t* n : names)
        if (upper == n) return true;
    return false;
}

}  // namespace

double Measure(const Point& p1, const Point& p2, Direction dir) {
    return dir == Direction::H ? std::fabs(p2.x - p1.x) : std::fabs(p2.y - p1.y);
}

Direction ChooseDirection(const Point& p1, const Point& p2, const Point& pos) {
    const bool within_x = pos.x >= std::min(p1.x, p2.x) && pos.x <= std::max(p1.x, p2.x);
    const bool within_y = pos.y >= std::min(p1.y, p2.y) && pos.y <= std::max(p1.y, p2.y);
    if (within_x && !within_y) return Direction::H;
    if (within_y && !within_x) return Direction::V;
    return std::fabs(p2.x - p1.x) >= std::fabs(p2.y - p1.y) ? Direction::H : Direction::V;
}

Interpreter::Interpreter(InterpreterEvents* events) : events_(events), prompt_(kIdlePrompt) {}

void Interpreter::Type(std::u16string_view text) {
    for (char16_t c : text) TypeChar(c);
}

void Interpreter::TypeChar(char16_t c) {
    switch (c) {
        case 3:   // Ctrl-C
        case 27:  // Esc
            Cancel();
            return;
        case 8:  // backspace
            if (!typed_.empty()) typed_.pop_back();
            return;
        case u'\r':
        case u'\n':
            Submit();
            return;
        case u' ':
            if (!FreeText()) {
                Submit();
                return;
            }
            break;
        default:
            break;
    }
    if (typed_.size() >= kMaxAnswer)
        typed_too_long_ = true;
    else
        typed_ += c;
}

bool Interpreter::WantsPoint() const {
    switch (step_) {
        case Step::IdPoint:
        case Step::DimFirst:
        case Step::DimSecond:
        case Step::DimPosition:
            return true;
        case Step::SetvarValue:
            return setvar_ && setvar_->kind == Variable::PointVar;
        default:
            return false;
    }
}

std::u16string Interpreter::PromptLine() const { return prompt_ + EchoForm(typed_); }

std::u16string Interpreter::HistoryText() const {
    std::u16string text;
    for (size_t i = 0; i < history_.size(); ++i) {
        if (i) text += u"\r\n";
        text += history_[i];
    }
    return text;
}

void Interpreter::Commit(const std::u16string& line) {
    history_.push_back(line);
    if (history_.size() > kMaxHistory + 1000) history_.erase(history_.begin(), history_.begin() + 1000);
    if (events_) events_->OnHistory(line);
}

void Interpreter::Complain(const std::u16string& text) {
    Commit(text);
    if (events_) events_->OnComplaint(text);
}

void Interpreter::Show(Step step) {
    step_ = step;
    prompt_ = PromptFor(step);
    ++serial_;
    if (events_) events_->OnPrompt(prompt_);
}

void Interpreter::BackToIdle() {
    outer_.reset();
    command_.clear();
    setvar_ = outer_setvar_ = nullptr;
    Show(Step::Idle);
}

void Interpreter::EndSubcommand() {
    if (outer_) {
        const Step resume = *outer_;
        outer_.reset();
        command_ = outer_command_;
        setvar_ = outer_setvar_;  // the interrupted SETVAR may be asking for a value
        outer_setvar_ = nullptr;
        Commit(command_ + u" コマンドを再開します。");
        Show(resume);
        return;
    }
    BackToIdle();
}

void Interpreter::Cancel() {
    const std::u16string line = prompt_ + EchoForm(typed_) + kCancelMark;
    typed_.clear();
    typed_too_long_ = false;
    Commit(line);
    if (events_) events_->OnCancel(line);
    BackToIdle();
}

void Interpreter::Escape() { Cancel(); }

void Interpreter::RightClick() { Submit(); }

void Interpreter::Submit() {
    const std::u16string answer = typed_;
    const bool too_long = typed_too_long_;
    typed_.clear();
    typed_too_long_ = false;
    Commit(prompt_ + EchoForm(answer));
    if (too_long) {
        Complain(u"入力が長すぎます。");
        Show(step_);
        return;
    }
    Answer(answer);
}

bool Interpreter::Pick(const Point& p) {
    if (!WantsPoint()) return false;
    typed_.clear();
    typed_too_long_ = false;
    Commit(prompt_);
    AnswerPoint(p);
    return true;
}

void Interpreter::Answer(const std::u16string& answer) {
    // A transparent command may interrupt any prompt but a free text.
    if (step_ != Step::Idle && !FreeText() && !answer.empty() && answer[0] == u'\'') {
        const std::u16string name = StripPrefixes(AsciiUpper(answer.substr(1)));
        if (outer_) {
            Complain(u"** 透過コマンドの中で透過コマンドは使用できません **");
            Show(step_);
        } else if (name == u"SETVAR" || FindVariable(name)) {
            outer_ = step_;
            outer_command_ = command_;
            outer_setvar_ = setvar_;
            command_ = u"SETVAR";
            if (name == u"SETVAR")
                Show(Step::SetvarName);
            else
                AnswerSetvarName(name);
        } else if (name == u"ID" || name == u"DIMLINEAR" || name == u"DLI") {
            Complain(u"** そのコマンドは透過的には使用できません **");
            Show(step_);
        } else {
            Complain(u"不明なコマンド \"" + EchoForm(AsciiUpper(answer.substr(1))) +
                     u"\"。 F1 キーを押してヘルプを参照してください。");
            Show(step_);
        }
        return;
    }

    switch (step_) {
        case Step::Idle:
            RunCommand(answer);
            return;
        case Step::IdPoint:
        case Step::DimFirst:
        case Step::DimSecond:
            if (answer.empty()) {
                if (step_ == Step::IdPoint)
                    EndSubcommand();
                else if (step_ == Step::DimFirst)
                    Show(Step::DimObject);
                else {
                    Complain(kInvalidPoint);
                    Show(step_);
                }
                return;
            }
            if (const auto p = ParsePoint(answer, lastpoint_)) {
                AnswerPoint(*p);
            } else {
                Complain(step_ == Step::DimFirst ? kNeedPointOrKeyword : kInvalidPoint);
                Show(step_);
            }
            return;
        case Step::DimObject:
            // No objects exist to be dimensioned; only a cancel leaves here.
            Complain(u"オブジェクトが選択されていません。");
            Show(step_);
            return;
        case Step::SetvarName:
            AnswerSetvarName(StripPrefixes(AsciiUpper(answer)));
            return;
        case Step::SetvarValue:
            AnswerSetvarValue(answer);
            return;
        case Step::DimPosition:
            AnswerDimPosition(answer);
            return;
        case Step::DimText:
            if (!answer.empty()) dim_text_ = answer;
            Show(Step::DimPosition);
            return;
    }
}

void Interpreter::RunCommand(const std::u16string& answer) {
    if (answer.empty()) {
        // An empty answer at the command prompt repeats the last command.
        if (last_command_.empty())
            Show(Step::Idle);
        else
            StartCommand(last_command_, false);
        return;
    }
    if (answer[0] == u'\'')
        StartCommand(answer.substr(1), true);
    else
        StartCommand(answer, false);
}

void Interpreter::StartCommand(const std::u16string& raw, bool /*transparent*/) {
    const std::u16string upper = AsciiUpper(raw);
    const std::u16string name = StripPrefixes(upper);
    if (name == u"ID") {
        last_command_ = command_ = u"ID";
        Show(Step::IdPoint);
    } else if (name == u"SETVAR") {
        last_command_ = command_ = u"SETVAR";
        Show(Step::SetvarName);
    } else if (name == u"DIMLINEAR" || name == u"DLI") {
        last_command_ = command_ = u"DIMLINEAR";
        dim_dir_.reset();
        dim_text_.reset();
        Show(Step::DimFirst);
    } else if (FindVariable(name)) {
        last_command_ = command_ = name;
        AnswerSetvarName(name);
    } else {
        Complain(u"不明なコマンド \"" + EchoForm(upper) + u"\"。 F1 キーを押してヘルプを参照してください。");
        BackToIdle();
    }
}

const Interpreter::Variable* Interpreter::FindVariable(const std::u16string& upper_name) const {
    static const Variable kVariables[] = {
        {u"ACADVER", Variable::StringVar, true}, {u"CLAYER", Variable::StringVar, false},
        {u"DWGNAME", Variable::StringVar, true}, {u"LASTPOINT", Variable::PointVar, false},
        {u"OSMODE", Variable::IntVar, false},
    };
    for (const Variable& v : kVariables)
        if (upper_name == v.name) return &v;
    return nullptr;
}

std::u16string Interpreter::VariableValue(const Variable& v) const {
    const std::u16string name = v.name;
    if (name == u"LASTPOINT")
        return lastpoint_text_ ? ExpandLastPoint(*lastpoint_text_, lastpoint_) : FormatPoint(lastpoint_);
    if (name == u"OSMODE") return Decimal(osmode_);
    if (name == u"CLAYER") return u"\"" + clayer_ + u"\"";
    if (name == u"ACADVER") return u"\"16.0s (LMS Tech)\"";
    if (name == u"DWGNAME") return u"\"Drawing1.dwg\"";
    return u"";
}

void Interpreter::AnswerSetvarName(const std::u16string& name) {
    if (name.empty()) {
        EndSubcommand();
        return;
    }
    if (name == u"?") {
        for (const char16_t* n : {u"ACADVER", u"CLAYER", u"DWGNAME", u"LASTPOINT", u"OSMODE"}) {
            const Variable* v = FindVariable(n);
            Commit(std::u16string(n) + u"  " + VariableValue(*v) + (v->read_only ? kReadOnlyMark : u""));
        }
        EndSubcommand();
        return;
    }
    const Variable* v = FindVariable(name);
    if (!v) {
        Complain(u"不明な変数名です。  ? と入力すると変数名のリストが表示されます。");
        EndSubcommand();
        return;
    }
    if (v->read_only) {
        Commit(std::u16string(v->name) + u" = " + VariableValue(*v) + kReadOnlyMark);
        EndSubcommand();
        return;
    }
    setvar_ = v;
    Show(Step::SetvarValue);
}

void Interpreter::AnswerSetvarValue(const std::u16string& answer) {
    if (answer.empty()) {  // keeps the current value
        EndSubcommand();
        return;
    }
    switch (setvar_->kind) {
        case Variable::PointVar:
            if (const auto p = ParsePoint(answer, lastpoint_)) {
                AnswerPoint(*p);
                return;
            }
            Complain(u"2D 点または 3D 点が必要です。");
            break;
        case Variable::IntVar: {
            const auto v = ParseReal(answer);
            if (v && *v == std::floor(*v) && *v >= 0 && *v <= 32767 &&
                answer.find_first_of(u".eE") == std::u16string::npos) {
                osmode_ = static_cast<int>(*v);
                EndSubcommand();
                return;
            }
            Complain(u"0 から 32767 までの整数が必要です。");
            break;
        }
        case Variable::StringVar:
            if (AsciiUpper(answer) == u"0") {
                clayer_ = u"0";
                EndSubcommand();
                return;
            }
            Complain(u"画層 \"" + EchoForm(answer) + u"\" が見つかりません。");
            break;
    }
    Show(step_);
}

void Interpreter::AnswerPoint(const Point& p) {
    switch (step_) {
        case Step::IdPoint:
            lastpoint_ = p;
            identified_.push_back(p);
            Commit(u"X = " + FormatCoord(p.x) + u"     Y = " + FormatCoord(p.y) + u"     Z = " + FormatCoord(p.z));
            if (events_) events_->OnIdentified(p);
            EndSubcommand();
            return;
        case Step::DimFirst:
            lastpoint_ = dim_p1_ = p;
            Show(Step::DimSecond);
            return;
        case Step::DimSecond:
            lastpoint_ = dim_p2_ = p;
            Show(Step::DimPosition);
            return;
        case Step::DimPosition:
            CreateDimension(p);
            return;
        case Step::SetvarValue:
            lastpoint_ = p;
            EndSubcommand();
            return;
        default:
            return;
    }
}

void Interpreter::AnswerDimPosition(const std::u16string& answer) {
    const std::u16string kw = StripPrefixes(AsciiUpper(answer));
    const bool free_orientation = !dim_dir_;
    if (free_orientation && IsKeyword(kw, {u"H", u"HORIZONTAL", u"水平"})) {
        dim_dir_ = Direction::H;
        Show(Step::DimPosition);
    } else if (free_orientation && IsKeyword(kw, {u"V", u"VERTICAL", u"垂直"})) {
        dim_dir_ = Direction::V;
        Show(Step::DimPosition);
    } else if (IsKeyword(kw, {u"T", u"TEXT", u"寸法値"})) {
        Show(Step::DimText);
    } else if (IsKeyword(kw, {u"M", u"MTEXT", u"マルチテキスト", u"A", u"ANGLE", u"寸法値の角度"}) ||
               (free_orientation && IsKeyword(kw, {u"R", u"ROTATED", u"回転"}))) {
        Complain(u"オプション \"" + kw + u"\" はこのホストでは使用できません。");
        Show(Step::DimPosition);
    } else if (const auto p = answer.empty() ? std::nullopt : ParsePoint(answer, lastpoint_)) {
        AnswerPoint(*p);
    } else {
        Complain(kNeedPointOrKeyword);
        Show(Step::DimPosition);
    }
}

void Interpreter::CreateDimension(const Point& pos) {
    Dimension d;
    d.p1 = dim_p1_;
    d.p2 = dim_p2_;
    d.pos = pos;
    d.dir = dim_dir_ ? *dim_dir_ : ChooseDirection(d.p1, d.p2, pos);
    d.text = dim_text_;
    d.measurement = Measure(d.p1, d.p2, d.dir);
    lastpoint_ = pos;
    dimensions_.push_back(d);
    Commit(u"寸法値 = " + FormatMeasurement(d.measurement));
    if (events_) events_->OnDimension(d);
    BackToIdle();
}

std::u16string Interpreter::PromptFor(Step step) const {
    std::u16string p;
    switch (step) {
        case Step::Idle:
            return kIdlePrompt;
        case Step::IdPoint:
            p = u"点を指定: " + std::u16string(prompt_pad_, u' ');
            break;
        case Step::SetvarName:
            p = u"変数名を入力 または [?]: ";
            break;
        case Step::SetvarValue:
            p = std::u16string(setvar_->name) + u" の新しい値を入力 <" + std::u16string(prompt_pad_, u' ') +
                VariableValue(*setvar_) + u">: ";
            break;
        case Step::DimFirst:
            p = u"1 本目の寸法補助線の起点を指定 または <オブジェクトを選択>: ";
            break;
        case Step::DimObject:
            p = u"寸法記入するオブジェクトを選択: ";
            break;
        case Step::DimSecond:
            p = u"2 本目の寸法補助線の起点を指定: ";
            break;
        case Step::DimPosition:
            p = dim_dir_ ? u"寸法線の位置を指定 または [マルチテキスト(M)/寸法値(T)/寸法値の角度(A)]: "
                         : u"寸法線の位置を指定 または "
                           u"[マルチテキスト(M)/寸法値(T)/寸法値の角度(A)/水平(H)/垂直(V)/回転(R)]: ";
            break;
        case Step::DimText: {
            const Direction dir = dim_dir_                                                               ? *dim_dir_
                                  : std::fabs(dim_p2_.x - dim_p1_.x) >= std::fabs(dim_p2_.y - dim_p1_.y) ? Direction::H
                                                                                                         : Direction::V;
            p = u"寸法値を入力 <" + FormatMeasurement(Measure(dim_p1_, dim_p2_, dir)) + u">: ";
            break;
        }
    }
    // Prompts of a transparent command are marked as AutoCAD marks them.
    if (outer_) p = u">>" + p;
    return p;
}

}  // namespace cadhost

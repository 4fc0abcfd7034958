// A reader for the DIALOG statements of a resource script.
#include "rc.h"

#include <cctype>
#include <map>
#include <sstream>
#include <stdexcept>

namespace sim {

extern const char* const ResourceScript;
extern const char* const ResourceHeader;

namespace {

#define QX_CONSTANT(name)                                                                          \
    { #name, static_cast < long>(name) }
const std::map<std::string, long> PlatformConstants = {
    QX_CONSTANT(WS_OVERLAPPED),
    QX_CONSTANT(WS_POPUP),
    QX_CONSTANT(WS_CHILD),
    QX_CONSTANT(WS_VISIBLE),
    QX_CONSTANT(WS_DISABLED),
    QX_CONSTANT(WS_CAPTION),
    QX_CONSTANT(WS_BORDER),
    QX_CONSTANT(WS_SYSMENU),
    QX_CONSTANT(WS_THICKFRAME),
    QX_CONSTANT(WS_GROUP),
    QX_CONSTANT(WS_TABSTOP),
    QX_CONSTANT(DS_SETFONT),
    QX_CONSTANT(DS_MODALFRAME),
    QX_CONSTANT(DS_CENTER),
    QX_CONSTANT(BS_PUSHBUTTON),
    QX_CONSTANT(BS_DEFPUSHBUTTON),
    QX_CONSTANT(BS_AUTORADIOBUTTON),
    QX_CONSTANT(SS_LEFT),
    QX_CONSTANT(IDOK),
    QX_CONSTANT(IDCANCEL),
};
#undef QX_CONSTANT

struct Token {
    enum Kind { Word, Number, String, Punct, End } kind;
    std::string text;
    long number = 0;
};

class Lexer {
  public:
    explicit Lexer(const std::string& text) : text_(text) {}
    Token Next() {
        SkipSpace();
        if (at_ >= text_.size())
            return {Token::End, "", 0};
        const char c = text_[at_];
        if (c == '"') {
            std::string s;
            ++at_;
            while (at_ < text_.size()) {
                if (text_[at_] == '"') {
                    if (at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                        s += '"';
                        at_ += 2;
                        continue;
                    }
                    ++at_;
                    return {Token::String, s, 0};
                }
                s += text_[at_++];
            }
            Error("unterminated string");
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            std::size_t used = 0;
            const long n = std::stol(text_.substr(at_), &used, 0);
            at_ += used;
            return {Token::Number, "", n};
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            const std::size_t start = at_;
            while (at_ < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '_'))
                ++at_;
            return {Token::Word, text_.substr(start, at_ - start), 0};
        }
        ++at_;
        return {Token::Punct, std::string(1, c), 0};
    }
    [[noreturn]] void Error(const std::string& what) const {
        std::size_t line = 1;
        for (std::size_t i = 0; i < at_ && i < text_.size(); ++i)
            line += text_[i] == '\n';
        throw std::runtime_error("resource script line " + std::to_string(line) + ": " + what);
    }

  private:
    void SkipSpace() {
        while (at_ < text_.size()) {
            if (std::isspace(static_cast<unsigned char>(text_[at_]))) {
                ++at_;
            } else if (text_.compare(at_, 2, "//") == 0 || text_[at_] == '#') {
                while (at_ < text_.size() && text_[at_] != '\n')
                    ++at_; // comments and preprocessor lines
            } else if (text_.compare(at_, 2, "/*") == 0) {
                const std::size_t end = text_.find("*/", at_ + 2);
                at_ = end == std::string::npos ? text_.size() : end + 2;
            } else {
                break;
            }
        }
    }
    const std::string& text_;
    std::size_t at_ = 0;
};

class Parser {
  public:
    Parser(const std::string& script, const std::map<std::string, long>& names)
        : lexer_(script), names_(names) {
        Advance();
    }

    std::optional<DialogTemplate> Find(int id) {
        // Statements are scanned one token at a time; a DIALOG statement is recognised by its
        // second token, and every other statement is skipped.
        Token previous{Token::End, "", 0};
        while (token_.kind != Token::End) {
            if (token_.kind == Token::Word &&
                (token_.text == "DIALOG" || token_.text == "DIALOGEX") &&
                (previous.kind == Token::Word || previous.kind == Token::Number)) {
                const long dialogId = Value(previous);
                Advance();
                DialogTemplate dialog = ParseBody();
                if (dialogId == id) {
                    dialog.id = id;
                    return dialog;
                }
                previous = {Token::End, "", 0};
                continue;
            }
            previous = token_;
            Advance();
        }
        return std::nullopt;
    }

  private:
    void Advance() { token_ = lexer_.Next(); }

    long Value(const Token& t) const {
        if (t.kind == Token::Number)
            return t.number;
        auto it = names_.find(t.text);
        if (it == names_.end())
            lexer_.Error("unknown name " + t.text);
        return it->second;
    }

    long Number() {
        bool negative = false;
        if (token_.kind == Token::Punct && token_.text == "-") {
            negative = true;
            Advance();
        }
        if (token_.kind != Token::Number && token_.kind != Token::Word)
            lexer_.Error("number expected");
        const long v = Value(token_);
        Advance();
        return negative ? -v : v;
    }

    void Comma() {
        if (token_.kind != Token::Punct || token_.text != ",")
            lexer_.Error("',' expected");
        Advance();
    }

    bool IsComma() const { return token_.kind == Token::Punct && token_.text == ","; }

    std::string String() {
        if (token_.kind != Token::String)
            lexer_.Error("string expected");
        std::string s = token_.text;
        Advance();
        return s;
    }

    DWORD Style() {
        DWORD style = static_cast<DWORD>(Number());
        while (token_.kind == Token::Punct && token_.text == "|") {
            Advance();
            style |= static_cast<DWORD>(Number());
        }
        return style;
    }

    bool IsWord(const char* word) const {
        return token_.kind == Token::Word && token_.text == word;
    }

    // "x, y, width, height" in dialog units.
    void Rectangle(int& x, int& y, int& cx, int& cy) {
        x = static_cast<int>(Number());
        Comma();
        y = static_cast<int>(Number());
        Comma();
        cx = static_cast<int>(Number());
        Comma();
        cy = static_cast<int>(Number());
    }

    DialogTemplate ParseBody() {
        DialogTemplate d;
        Rectangle(d.x, d.y, d.cx, d.cy);
        bool styled = false;
        DWORD extra = 0;
        while (!IsWord("BEGIN") && !(token_.kind == Token::Punct && token_.text == "{")) {
            if (token_.kind == Token::End)
                lexer_.Error("BEGIN expected");
            if (IsWord("STYLE")) {
                Advance();
                d.style = Style();
                styled = true;
            } else if (IsWord("CAPTION")) {
                Advance();
                d.caption = String();
                extra |= WS_CAPTION;
            } else if (IsWord("FONT")) {
                Advance();
                d.fontSize = static_cast<int>(Number());
                Comma();
                d.fontFace = String();
                extra |= DS_SETFONT;
            } else if (IsWord("LANGUAGE")) {
                Advance();
                Number();
                Comma();
                Number();
            } else if (IsWord("EXSTYLE")) {
                Advance();
                Style();
            } else {
                lexer_.Error("unexpected " + token_.text);
            }
        }
        if (!styled)
            d.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
        d.style |= extra;
        Advance();
        while (!IsWord("END") && !(token_.kind == Token::Punct && token_.text == "}")) {
            if (token_.kind == Token::End)
                lexer_.Error("END expected");
            d.controls.push_back(ParseControl());
        }
        Advance();
        return d;
    }

    Control ParseControl() {
        if (token_.kind != Token::Word)
            lexer_.Error("control statement expected");
        const std::string keyword = token_.text;
        Advance();
        Control c{};
        c.text = String();
        Comma();
        c.id = static_cast<int>(Number());
        Comma();
        DWORD style = 0;
        if (keyword == "CONTROL") {
            c.className = String();
            Comma();
            style = Style();
            Comma();
        } else if (keyword == "DEFPUSHBUTTON" || keyword == "PUSHBUTTON" ||
                   keyword == "AUTORADIOBUTTON") {
            c.className = "Button";
            style = WS_TABSTOP | (keyword == "DEFPUSHBUTTON"     ? BS_DEFPUSHBUTTON
                                  : keyword == "AUTORADIOBUTTON" ? BS_AUTORADIOBUTTON
                                                                 : BS_PUSHBUTTON);
        } else if (keyword == "LTEXT") {
            c.className = "Static";
            style = SS_LEFT | WS_GROUP;
        } else {
            lexer_.Error("unsupported control " + keyword);
        }
        Rectangle(c.x, c.y, c.cx, c.cy);
        if (keyword != "CONTROL" && IsComma()) {
            Advance();
            style |= Style();
        }
        if (IsComma()) { // extended style
            Advance();
            Style();
        }
        c.style = style | WS_CHILD | WS_VISIBLE;
        return c;
    }

    Lexer lexer_;
    const std::map<std::string, long>& names_;
    Token token_{Token::End, "", 0};
};

std::map<std::string, long> HeaderNames(const std::string& header) {
    std::map<std::string, long> names = PlatformConstants;
    std::istringstream lines(header);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string directive, name, value;
        if (words >> directive >> name >> value && directive == "#define")
            names[name] = std::stol(value, nullptr, 0);
    }
    return names;
}

} // namespace

std::optional<DialogTemplate> ParseDialog(const std::string& script, const std::string& header,
                                          int id) {
    const std::map<std::string, long> names = HeaderNames(header);
    return Parser(script, names).Find(id);
}

std::optional<DialogTemplate> ProgramDialog(int id) {
    return ParseDialog(ResourceScript, ResourceHeader, id);
}

} // namespace sim

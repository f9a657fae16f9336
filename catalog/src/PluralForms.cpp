// CLDR plural rules as gettext's Plural-Forms expression.
//
// gettext evaluates a C expression over an unsigned integer n, so every operand of a rule
// is taken for an integer count: n and i are n; v, w, f, t, e and c (fraction digits and
// exponents) are 0, which decides their relations while generating. The conditions of the
// categories are mutually exclusive in CLDR, so a chain of conditionals in category order
// gives the index.

#include "FormatSupport.h"
#include "tavrel/localize/LanguageLocale.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <unicode/locid.h>
#include <unicode/plurrule.h>

namespace tavrel::formats {

namespace {

// A condition known while generating, or C text.
struct TCondition {
    std::optional<bool> constant;
    std::string text;
};

class TRuleParser {
public:
    explicit TRuleParser(std::string_view rule) : rule_(rule) {}

    // or_condition := and_condition ("or" and_condition)*
    TCondition Parse() {
        std::vector<std::string> alternatives;
        bool always = false;
        do {
            TCondition all = ParseAnd();
            if (all.constant.has_value()) {
                always = always || *all.constant;
                continue;
            }
            alternatives.push_back(all.text);
        } while (Accept("or"));
        if (!AtEnd())
            Fail("unexpected \"" + std::string(Peek()) + "\"");
        if (always)
            return {true, {}};
        if (alternatives.empty())
            return {false, {}};
        return {std::nullopt, Join(alternatives, " || ", alternatives.size() > 1)};
    }

private:
    // and_condition := relation ("and" relation)*
    TCondition ParseAnd() {
        std::vector<std::string> terms;
        bool never = false;
        do {
            TCondition relation = ParseRelation();
            if (relation.constant.has_value())
                never = never || !*relation.constant;
            else
                terms.push_back(relation.text);
        } while (Accept("and"));
        if (never)
            return {false, {}};
        if (terms.empty())
            return {true, {}};
        std::string text = terms.size() == 1 ? terms.front() : Join(terms, " && ", false);
        // Parenthesized when it joins an "or", for the reader's sake.
        return {std::nullopt, terms.size() > 1 ? "(" + text + ")" : text};
    }

    // relation := operand [("mod" | "%") value] op range_list
    TCondition ParseRelation() {
        const std::string_view operand = Next();
        const bool isCount = operand == "n" || operand == "i";
        if (!isCount && (operand.size() != 1 ||
                         std::string_view("vwftec").find(operand[0]) == std::string_view::npos))
            Fail("unknown operand \"" + std::string(operand) + "\"");
        std::optional<unsigned long long> modulus;
        if (Accept("mod") || Accept("%"))
            modulus = Number();
        bool negated = false;
        if (Accept("!=")) {
            negated = true;
        } else if (Accept("=")) {
        } else if (Accept("is")) {
            negated = Accept("not");
        } else {
            negated = Accept("not");
            if (!Accept("in") && !Accept("within"))
                Fail("expected a relation");
        }
        std::vector<std::pair<unsigned long long, unsigned long long>> ranges;
        do {
            const unsigned long long low = Number();
            const unsigned long long high = Accept("..") ? Number() : low;
            ranges.emplace_back(low, high);
        } while (Accept(","));

        if (!isCount) {
            // The operand is 0 for every integer count.
            const bool in = std::any_of(ranges.begin(), ranges.end(),
                                        [](const auto& range) { return range.first == 0; });
            return {in != negated, {}};
        }
        const std::string value = modulus ? "n % " + std::to_string(*modulus) : std::string("n");
        std::vector<std::string> tests;
        for (const auto& [low, high] : ranges) {
            if (low == high)
                tests.push_back(value + (negated && ranges.size() == 1 ? " != " : " == ") +
                                std::to_string(low));
            else if (negated && ranges.size() == 1)
                tests.push_back("(" + value + " < " + std::to_string(low) + " || " + value + " > " +
                                std::to_string(high) + ")");
            else if (low == 0)
                tests.push_back(value + " <= " + std::to_string(high));
            else
                tests.push_back("(" + value + " >= " + std::to_string(low) + " && " + value +
                                " <= " + std::to_string(high) + ")");
        }
        if (tests.size() == 1)
            return {std::nullopt, tests.front()};
        const std::string any = Join(tests, " || ", true);
        return {std::nullopt, negated ? "!" + any : any};
    }

    static std::string Join(const std::vector<std::string>& parts, std::string_view separator,
                            bool parenthesize) {
        std::string out;
        for (const std::string& part : parts) {
            if (!out.empty())
                out += separator;
            out += part;
        }
        return parenthesize ? "(" + out + ")" : out;
    }

    void SkipBlanks() {
        while (pos_ < rule_.size() && rule_[pos_] == ' ')
            ++pos_;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ >= rule_.size();
    }
    // The next token: a word, a number, "..", ",", "=", "!=" or "%".
    std::string_view Peek() {
        SkipBlanks();
        if (pos_ >= rule_.size())
            return {};
        const char c = rule_[pos_];
        auto isWordChar = [](char ch) {
            return (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
        };
        if (isWordChar(c)) {
            std::size_t end = pos_;
            while (end < rule_.size() && isWordChar(rule_[end]))
                ++end;
            return rule_.substr(pos_, end - pos_);
        }
        if (rule_.substr(pos_).starts_with("..") || rule_.substr(pos_).starts_with("!="))
            return rule_.substr(pos_, 2);
        return rule_.substr(pos_, 1);
    }
    std::string_view Next() {
        const std::string_view token = Peek();
        if (token.empty())
            Fail("unexpected end");
        pos_ += token.size();
        return token;
    }
    bool Accept(std::string_view token) {
        if (Peek() != token)
            return false;
        pos_ += token.size();
        return true;
    }
    unsigned long long Number() {
        const std::string_view token = Next();
        if (token.empty() || token.size() > 18 ||
            token.find_first_not_of("0123456789") != std::string_view::npos)
            Fail("expected a number, not \"" + std::string(token) + "\"");
        return std::stoull(std::string(token));
    }
    [[noreturn]] void Fail(const std::string& why) const {
        throw ECatalogFormatError("cannot read the plural rule \"" + std::string(rule_) +
                                  "\": " + why);
    }

    std::string_view rule_;
    std::size_t pos_ = 0;
};

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Whether the text is one parenthesized group: "(a || b)", not "(a) || (b)".
bool IsOneGroup(std::string_view text) {
    if (text.empty() || text.front() != '(')
        return false;
    int depth = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        depth += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
        if (depth == 0)
            return i + 1 == text.size();
    }
    return false;
}

} // namespace

std::string PluralExpression(std::string_view rules, const std::vector<std::string>& categories) {
    std::vector<std::optional<TCondition>> conditions(categories.size());
    std::size_t pos = 0;
    while (pos < rules.size()) {
        std::size_t end = rules.find(';', pos);
        if (end == std::string_view::npos)
            end = rules.size();
        std::string_view rule = rules.substr(pos, end - pos);
        pos = end + 1;
        // Samples ("@integer 1, 21") only illustrate the rule.
        rule = Trim(rule.substr(0, rule.find('@')));
        if (rule.empty())
            continue;
        const std::size_t colon = rule.find(':');
        if (colon == std::string_view::npos)
            throw ECatalogFormatError("cannot read the plural rule \"" + std::string(rule) +
                                      "\": no category");
        const std::string_view keyword = Trim(rule.substr(0, colon));
        if (keyword == "other")
            continue;
        const auto it = std::find(categories.begin(), categories.end(), keyword);
        if (it == categories.end())
            throw ECatalogFormatError("the plural rules name the unknown category \"" +
                                      std::string(keyword) + "\"");
        conditions[static_cast<std::size_t>(it - categories.begin())] =
            TRuleParser(Trim(rule.substr(colon + 1))).Parse();
    }

    const auto other = std::find(categories.begin(), categories.end(), "other");
    std::string expression;
    std::string fallback = std::to_string(other - categories.begin());
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (!conditions[i] || conditions[i]->constant == false)
            continue;
        if (conditions[i]->constant == true) {
            fallback = std::to_string(i);
            break;
        }
        std::string text = conditions[i]->text;
        if (!IsOneGroup(text))
            text = "(" + text + ")";
        expression += text + " ? " + std::to_string(i) + " : ";
    }
    return expression + fallback;
}

std::string PluralFormsHeader(std::string_view locale) {
    const std::vector<std::string> categories = PluralCategories(locale);
    std::string expression = "0";
    if (categories.size() > 1) {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Locale icuLocale = icu::Locale::forLanguageTag(
            icu::StringPiece(locale.data(), static_cast<int32_t>(locale.size())), status);
        std::unique_ptr<icu::PluralRules> rules(
            U_SUCCESS(status) ? icu::PluralRules::forLocale(icuLocale, status) : nullptr);
        if (!rules || U_FAILURE(status))
            throw ECatalogFormatError("no plural rules for the locale \"" + std::string(locale) +
                                      "\"");
        std::string text;
        rules->getRules().toUTF8String(text);
        expression = PluralExpression(text, categories);
    }
    return "nplurals=" + std::to_string(categories.size()) + "; plural=" + expression + ";";
}

} // namespace tavrel::formats

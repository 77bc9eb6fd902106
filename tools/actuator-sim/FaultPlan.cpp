#include "FaultPlan.h"

namespace actuatorsim {

std::optional<ExceptionRule> parseExceptionRule(const std::string& text)
{
    ExceptionRule rule;
    std::string span = text;
    const auto colon = text.find(':');
    if (colon != std::string::npos) {
        const auto code = parseInteger(text.substr(colon + 1));
        if (!code || *code < 1 || *code > 11) return std::nullopt;
        rule.code = int(*code);
        span = text.substr(0, colon);
    }
    const auto dash = span.find('-');
    const auto first = parseReference(span.substr(0, dash));
    const auto last = dash == std::string::npos ? first : parseReference(span.substr(dash + 1));
    if (!first || !last || first->table != last->table || last->offset < first->offset) return std::nullopt;
    rule.table = first->table;
    rule.first = first->offset;
    rule.last = last->offset;
    return rule;
}

std::string describe(const ExceptionRule& rule)
{
    std::string text = sixDigit(rule.table, rule.first);
    if (rule.last != rule.first) text += "-" + sixDigit(rule.table, rule.last);
    return text + ":" + std::to_string(rule.code);
}

std::optional<int> FaultPlan::exceptionFor(const Request& request) const
{
    for (const auto& rule : exceptions) {
        if (rule.table != request.table) continue;
        const int last = request.offset + request.quantity - 1;
        if (request.offset <= rule.last && last >= rule.first) return rule.code;
    }
    return std::nullopt;
}

double FaultPlan::draw()
{
    // mt19937's output is fixed by the standard; distributions are not, so scale by hand.
    return double(generator()) / 4294967296.0;
}

ReplyFate FaultPlan::nextReply()
{
    ReplyFate fate;
    const double dropDraw = draw();
    const double corruptDraw = draw();
    fate.drop = dropDraw < dropFraction;
    fate.corrupt = corruptDraw < corruptFraction;
    fate.delayMs = delayMs;
    return fate;
}

void FaultPlan::silenceAfter(long count, int ms)
{
    answeredBeforeSilence = count;
    plannedSilenceMs = ms;
}

void FaultPlan::silenceNow(std::int64_t nowMs, int ms)
{
    silent = true;
    answeredBeforeSilence = -1;
    if (ms > 0) silentUntil = nowMs + ms;
    else silentUntil.reset();
}

void FaultPlan::resume()
{
    silent = false;
    silentUntil.reset();
    answeredBeforeSilence = -1;
}

bool FaultPlan::isSilent(std::int64_t nowMs)
{
    if (answeredBeforeSilence == 0) silenceNow(nowMs, plannedSilenceMs);
    if (silent && silentUntil && nowMs >= *silentUntil) {
        silent = false;
        silentUntil.reset();
    }
    return silent;
}

void FaultPlan::noteAnswered(std::int64_t nowMs)
{
    if (answeredBeforeSilence > 0 && --answeredBeforeSilence == 0) silenceNow(nowMs, plannedSilenceMs);
}

std::optional<std::int64_t> FaultPlan::silenceEnd() const { return silent ? silentUntil : std::nullopt; }

}  // namespace actuatorsim

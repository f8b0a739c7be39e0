#include "agent/grapheme_clusters.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchriter.h>
#include <unicode/unistr.h>

#include <memory>

namespace {

// One iterator, made once: creating a break iterator loads rule data and costs
// far more than using it. Everything here runs on the main thread or in
// single-threaded tools.
icu::BreakIterator* characterIterator()
{
    static const std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(made) : nullptr;
    }();
    return iterator.get();
}

// Points the iterator at the text without copying it: QString and ICU both
// hold UTF-16.
icu::BreakIterator* iteratorOver(const QString& text, icu::UnicodeString& holder)
{
    icu::BreakIterator* iterator = characterIterator();
    if (!iterator)
        return nullptr;
    holder.setTo(false, reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
    iterator->setText(holder);
    return iterator;
}

} // namespace

QString firstClusters(const QString& text, qsizetype count)
{
    if (text.size() <= count)
        return text; // never more clusters than code units
    icu::UnicodeString holder;
    icu::BreakIterator* iterator = iteratorOver(text, holder);
    if (!iterator)
        return text.left(count);
    int32_t end = iterator->first();
    for (qsizetype i = 0; i < count; ++i) {
        const int32_t next = iterator->next();
        if (next == icu::BreakIterator::DONE)
            return text;
        end = next;
    }
    return text.left(end);
}

QString lastClusters(const QString& text, qsizetype count)
{
    if (text.size() <= count)
        return text;
    icu::UnicodeString holder;
    icu::BreakIterator* iterator = iteratorOver(text, holder);
    if (!iterator)
        return text.right(count);
    int32_t start = iterator->last();
    for (qsizetype i = 0; i < count; ++i) {
        const int32_t previous = iterator->previous();
        if (previous == icu::BreakIterator::DONE)
            return text;
        start = previous;
    }
    return text.mid(start);
}

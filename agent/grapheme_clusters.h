#pragma once

#include <QString>

// Lengths shown to the user count user-perceived characters (extended
// grapheme clusters), as ICU's character break iterator finds them.

// The first `count` clusters of `text` (all of it when it is shorter).
QString firstClusters(const QString& text, qsizetype count);

// The last `count` clusters of `text` (all of it when it is shorter).
QString lastClusters(const QString& text, qsizetype count);

#pragma once

#include <QString>

namespace Orvinta::NotesHtml {

enum class ColorScheme { light, dark };

/// The notes fragment with nothing left that could run or fetch: no script,
/// style, frame, object, form or remote image elements, no event-handler
/// attributes, and links only to http, https and mailto addresses.
QString sanitize(const QString &fragment);

/// One document for Qt rich text: the fixed head with the notes' style
/// sheet, the sanitised fragment, then the end of body and document.
QString document(const QString &fragment, ColorScheme scheme = ColorScheme::light);

} // namespace Orvinta::NotesHtml

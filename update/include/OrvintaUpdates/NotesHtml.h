#pragma once

#include <QString>

namespace Orvinta::NotesHtml {

enum class ColorScheme { light, dark };

/// Bounds on what the notes may ask of the layout, which runs on the GUI
/// thread: elements open inside one another, elements in all, characters of text.
inline constexpr int maxDepth = 8;
inline constexpr int maxElements = 1000;
inline constexpr int maxTextLength = 50000;

/// The notes fragment written anew with nothing left that could run, fetch or
/// stall the layout: only text, headings, lists, links, emphasis and code
/// (a table's words stay, as paragraphs), no attribute but a link's address,
/// links only to http, https and mailto addresses, and the bounds above.
QString sanitize(const QString &fragment);

/// One document for Qt rich text: the fixed head with the notes' style
/// sheet, the sanitised fragment, then the end of body and document.
QString document(const QString &fragment, ColorScheme scheme = ColorScheme::light);

} // namespace Orvinta::NotesHtml

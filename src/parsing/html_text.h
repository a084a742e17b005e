// HTML text as the Netscape 3 address book holds it: character references, and the <DD>
// description with its <BR> line breaks.
#pragma once

#include <string>
#include <string_view>

namespace vesk {

namespace html {

/// Undoes the character references an HTML writer uses (&amp; &lt; &#228; &#xE4; ...).
std::string decodeEntities(std::string_view text);
/// Escapes "&", "<", ">" and double quotes; text without them stays as it is.
std::string escape(std::string_view text);
/// A <DD> description as text: "<BR>" becomes a line break, references are decoded, the
/// blanks around it go.
std::string decodeDescription(std::string_view text);

}  // namespace html

}  // namespace vesk

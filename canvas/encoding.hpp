// The 8-bit character sets of printed text: Windows-1252 for ordinary faces
// and the Symbol encoding for the face "symbol" (where "l" is a Greek
// lambda). Pure computation.
#pragma once

#include <string>
#include <string_view>

// Unicode of a Windows-1252 byte (undefined bytes keep their own value).
char32_t windows_1252_to_unicode(unsigned char byte);

// Unicode of a Symbol-encoding byte; 0 where the encoding has no character.
char32_t symbol_to_unicode(unsigned char byte);

std::u32string decode_text(std::string_view text, bool symbol_encoding);

// Whether a face name asks for the Symbol encoding ("symbol", any case).
bool is_symbol_face(std::string_view face_name);

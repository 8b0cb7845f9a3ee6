#pragma once

namespace common {

// The Windows-1252 code page, one character at a time. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their C1 code points, so that every byte comes
// back as itself.
char16_t FromWindows1252(unsigned char byte);
// The byte of a character; "?" for a character the code page lacks.
char ToWindows1252(char16_t character);

} // namespace common

// UTF-8 lengths and names shown to a terminal (terminal_text.h).
#include "terminal_text.h"

#include <cstdlib>
#include <cstring>

size_t terminal_text_length(const uint8_t *bytes, size_t n)
{
    uint8_t b = bytes[0];
    if (b < 0x80)
        return b >= 0x20 && b != 0x7F ? 1 : 0;
    size_t length = utf8_length(bytes, n);
    // U+0080 to U+009F.
    if (b == 0xC2 && length == 2 && bytes[1] <= 0x9F)
        return 0;
    return length;
}

shown_name show_name(const char *name, bool terminal)
{
    shown_name shown = {name, nullptr};
    if (!terminal)
        return shown;
    const auto *bytes = reinterpret_cast<const uint8_t *>(name);
    size_t n = std::strlen(name);
    size_t i = 0;
    for (size_t length; i < n && (length = terminal_text_length(bytes + i, n - i)) != 0;)
        i += length;
    if (i == n)
        return shown;
    shown.copy = static_cast<char *>(std::malloc(n + 1));
    if (shown.copy == nullptr) {
        // No room for a copy: nothing of the name is safe to show.
        shown.text = "?";
        return shown;
    }
    std::memcpy(shown.copy, name, i);
    while (i < n) {
        size_t length = terminal_text_length(bytes + i, n - i);
        if (length == 0) {
            shown.copy[i++] = '?';
        } else {
            std::memcpy(shown.copy + i, name + i, length);
            i += length;
        }
    }
    shown.copy[n] = '\0';
    shown.text = shown.copy;
    return shown;
}

void release_name(shown_name *name)
{
    std::free(name->copy);
    name->copy = nullptr;
    name->text = nullptr;
}

// Numbers and bytes as text, for the views and the JSON.

const HEX_UPPER = Array.from({ length: 256 }, (_, b) => b.toString(16).toUpperCase().padStart(2, '0'));

const hex = (n) => '0x' + n.toString(16);
const hexPadded = (n, digits) => n.toString(16).toUpperCase().padStart(digits, '0');

// Bytes as upper-case hex pairs, in pieces so that megabytes of payload do
// not make one array of millions of strings.
function bytesHex(bytes) {
    const pieces = [];
    for (let at = 0; at < bytes.length; at += 65536) {
        const part = bytes.subarray(at, at + 65536);
        let text = '';
        for (let i = 0; i < part.length; ++i)
            text += HEX_UPPER[part[i]];
        pieces.push(text);
    }
    return pieces.join('');
}

// The text of bytes that are valid UTF-8, else null.  A leading byte order
// mark is part of the text, as the dump keeps it.
const strictUtf8 = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
function utf8OrNull(bytes) {
    try {
        return strictUtf8.decode(bytes);
    } catch {
        return null;
    }
}

// Characters a blob's string or a file's name must not get to play on the
// page: the controls, DEL and the C1 controls, the marks that reorder text
// on screen, and those that show nothing or break the line (the soft
// hyphen, the zero-width space, the word joiner and the invisible
// operators, the byte order mark, the line and paragraph separators).
const UNSAFE_FOR_DISPLAY =
    /[\u0000-\u001f\u007f-\u009f\u00ad\u061c\u200b\u200e\u200f\u2028-\u202e\u2060-\u2064\u2066-\u2069\ufeff]/g;
const DISPLAY_ESCAPES = { '\n': '\\n', '\r': '\\r', '\t': '\\t' };

// Text with everything unsafe as an escape.
const visibleText = (text) => text.replace(UNSAFE_FOR_DISPLAY, (c) =>
    DISPLAY_ESCAPES[c] ?? '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0'));

// A string tag's characters for a view: at most `limit` characters, bytes
// that are no UTF-8 as U+FFFD, everything unsafe as an escape.
const lenientUtf8 = new TextDecoder('utf-8', { ignoreBOM: true });
function displayText(bytes, limit) {
    const text = lenientUtf8.decode(bytes.subarray(0, limit * 4));
    const chars = Array.from(text);
    const shown = visibleText(chars.slice(0, limit).join(''));
    return chars.length > limit || bytes.length > limit * 4 ? shown + '…' : shown;
}

// For HTML text and attribute values.
const HTML_ESCAPES = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' };
const escapeHtml = (text) => String(text).replace(/[&<>"']/g, (c) => HTML_ESCAPES[c]);

// A file size for people: bytes, and KiB or MiB beside it.
function sizeText(n) {
    const bytes = `${n.toLocaleString('en')} bytes`;
    if (n >= 1 << 20)
        return `${bytes} (${(n / (1 << 20)).toFixed(1)} MiB)`;
    if (n >= 1 << 10)
        return `${bytes} (${(n / (1 << 10)).toFixed(1)} KiB)`;
    return bytes;
}

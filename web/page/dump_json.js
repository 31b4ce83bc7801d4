// The tags as `vantrel-dump --json` writes them for the same file (with a
// schema, as `vantrel-dump --schema FILE --json`): the same members in the
// same order on one line, the same escapes in strings.  The tags, their
// fields, their names, the fault and the violations come from the module;
// this only writes them down.
//
// The line is written as the dump streams it, in bounded pieces gathered
// into a Blob: no string holds the whole line, nor a whole payload's hex
// (a data block of 280 MiB is 560 MiB of hex, past the longest string the
// engine makes), and the pieces are folded into Blobs as they add up, which
// the browser may keep out of the page's memory.

// Payload bytes written as hex per piece, and text gathered before it is
// folded into a Blob.
const JSON_PAYLOAD_PIECE = 1 << 20;
const JSON_FOLD_AT = 16 << 20;

// The dump escapes quotes, backslashes, the C0 controls, DEL and the C1
// controls; everything else stands for itself.
const JSON_ESCAPES = { '"': '\\"', '\\': '\\\\', '\n': '\\n', '\r': '\\r', '\t': '\\t' };
const escapeJson = (text) =>
    text.replace(/["\\\u0000-\u001f\u007f-\u009f]|[\ud800-\udfff]/g, (c, at) => {
        if (JSON_ESCAPES[c])
            return JSON_ESCAPES[c];
        // A surrogate is kept when it is half of a pair.
        const code = c.charCodeAt(0);
        if (code >= 0xd800 && code <= 0xdbff && /[\udc00-\udfff]/.test(text[at + 1] ?? ''))
            return c;
        if (code >= 0xdc00 && code <= 0xdfff && /[\ud800-\udbff]/.test(text[at - 1] ?? ''))
            return c;
        return '\\u' + code.toString(16).padStart(4, '0');
    });
const quoteJson = (text) => '"' + escapeJson(text) + '"';

// Each byte's two hex digits as one 16-bit unit, in the machine's order:
// a payload's hex is written two characters a store.
const HEX_PAIRS = (() => {
    const digits = new Uint8Array(512);
    HEX_UPPER.forEach((pair, b) => {
        digits[2 * b] = pair.charCodeAt(0);
        digits[2 * b + 1] = pair.charCodeAt(1);
    });
    return new Uint16Array(digits.buffer);
})();

class JsonWriter {
    constructor() {
        this.text = '';
        this.parts = [];
        this.pending = 0;
        this.blobs = [];
    }

    write(text) {
        this.text += text;
        if (this.text.length >= JSON_PAYLOAD_PIECE)
            this.endText();
    }

    endText() {
        if (this.text !== '')
            this.add(this.text, this.text.length);
        this.text = '';
    }

    add(part, size) {
        this.parts.push(part);
        this.pending += size;
        if (this.pending >= JSON_FOLD_AT)
            this.fold();
    }

    fold() {
        if (this.parts.length !== 0)
            this.blobs.push(new Blob(this.parts));
        this.parts = [];
        this.pending = 0;
    }

    // Bytes as upper-case hex, without quotes.
    hex(bytes) {
        this.endText();
        for (let at = 0; at < bytes.length; at += JSON_PAYLOAD_PIECE) {
            const piece = bytes.subarray(at, at + JSON_PAYLOAD_PIECE);
            const pairs = new Uint16Array(piece.length);
            for (let i = 0; i < piece.length; ++i)
                pairs[i] = HEX_PAIRS[piece[i]];
            this.add(pairs, 2 * piece.length);
        }
    }

    // Valid UTF-8 as a JSON string's characters, decoded a piece at a time.
    utf8(bytes) {
        const decoder = new TextDecoder('utf-8', { ignoreBOM: true });
        for (let at = 0; at < bytes.length; at += JSON_PAYLOAD_PIECE)
            this.write(escapeJson(decoder.decode(bytes.subarray(at, at + JSON_PAYLOAD_PIECE), { stream: true })));
    }

    blob(type) {
        this.endText();
        this.fold();
        return new Blob(this.blobs, { type });
    }
}

// Whether bytes are valid UTF-8, read a piece at a time.  A leading byte
// order mark is part of the text, as the dump keeps it.
function isUtf8(bytes) {
    const decoder = new TextDecoder('utf-8', { fatal: true, ignoreBOM: true });
    try {
        for (let at = 0; at < bytes.length; at += JSON_PAYLOAD_PIECE)
            decoder.decode(bytes.subarray(at, at + JSON_PAYLOAD_PIECE), { stream: true });
        decoder.decode();
        return true;
    } catch {
        return false;
    }
}

// `, "KEY": "NAME"` for a name the schema gives, nothing for none.
const nameMember = (key, name) => (name === '' ? '' : `, "${key}": ${quoteJson(name)}`);

function writeTag(out, reader, tag) {
    out.write(`{"tag": ${quoteJson(tag.kind)}, "offset": ${tag.offset}`);
    const id = `, "id": ${tag.id}${nameMember('name', tag.name)}`;
    switch (tag.kind) {
    case 'string': {
        const bytes = reader.payload(tag);
        out.write(`${id}, "size": ${tag.size}`);
        if (isUtf8(bytes)) {
            out.write(', "text": "');
            out.utf8(bytes);
        } else {
            out.write(', "hex": "');
            out.hex(bytes);
        }
        out.write('"}');
        break;
    }
    case 'integer':
        out.write(`${id}, "value": "${tag.value}", "hex": "0x${tag.value.toString(16).toUpperCase()}"}`);
        break;
    case 'data_block':
        out.write(`${id}, "type": ${tag.type}${nameMember('type_name', tag.typeName)}, "size": ${tag.size}, "hex": "`);
        out.hex(reader.payload(tag));
        out.write('"}');
        break;
    case 'start':
        // A nested block: its tags follow, up to its end tag or the fault.
        out.write(`, "length": ${tag.length}, "tags": [`);
        break;
    default:
        out.write('}');
    }
}

// A fault or violation object: {"offset": N, "reason": TEXT[, "name": NAME]}.
const faultJson = (offset, reason, name = '') =>
    `{"offset": ${offset}, "reason": ${quoteJson(reason)}${nameMember('name', name)}}`;

// The line and its line end, as a Blob of `type`.  `violations`: the
// schema check's (reader.check()), or null without a schema.
function dumpJson(reader, fileName, type, violations = null) {
    const out = new JsonWriter();
    const verdict = reader.verdict();
    out.write(`{"file": ${quoteJson(fileName)}`);
    if (verdict.startRead) {
        out.write(`, "byte_order": ${quoteJson(verdict.byteOrder)}, "length": ${verdict.length}, "tags": [`);
        // Whether the list open at each level has no item yet; the blob's
        // own start and end tags are the object itself.
        const empty = [true];
        for (let i = 1; i < reader.count; ++i) {
            const tag = reader.tag(i);
            if (tag.kind === 'end') {
                if (empty.length > 1) {
                    out.write(']}');
                    empty.pop();
                }
                continue;
            }
            out.write(empty[empty.length - 1] ? '' : ', ');
            empty[empty.length - 1] = false;
            writeTag(out, reader, tag);
            if (tag.kind === 'start')
                empty.push(true);
        }
        out.write(']}'.repeat(empty.length - 1) + ']');
    }
    if (verdict.faultCode !== 0 || !verdict.startRead) {
        out.write(`, "error": ${faultJson(verdict.offset, verdict.reason)}`);
    } else if (violations && violations.length !== 0) {
        const all = violations.map((v) => faultJson(v.offset, v.reason, v.name));
        out.write(`, "error": ${all[0]}, "violations": [`);
        all.forEach((text, i) => out.write(i === 0 ? text : `, ${text}`));
        out.write(']');
    }
    out.write('}\n');
    return out.blob(type);
}

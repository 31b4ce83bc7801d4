// The reader in the page: the WebAssembly module built from
// vantrel_reader.h and vantrel_schema.h (web/inspect.c).  Every judgement about the bytes (where
// a tag begins and ends, what its fields hold, whether and where the blob
// is at fault) is the module's; this wrapper moves a file's bytes in and
// reads the answers out.

async function loadReader(base64) {
    const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
    const { instance } = await WebAssembly.instantiate(bytes, {});
    return new BlobReader(instance.exports);
}

// WebAssembly hands 32-bit results to JavaScript as signed numbers.
const unsigned = (n) => n >>> 0;

class BlobReader {
    constructor(exports) {
        this.x = exports;
        this.kindNames = [];
        for (let k = 0; k < exports.kind_count(); ++k)
            this.kindNames.push(this.cString(exports.kind_name(k)));
        this.size = 0;
        this.count = 0;
        this.base = 0;
    }

    cString(address) {
        const memory = new Uint8Array(this.x.memory.buffer);
        let end = address;
        while (memory[end] !== 0)
            ++end;
        return new TextDecoder().decode(memory.subarray(address, end));
    }

    // Walks a file's bytes.  Returns false when memory cannot hold them;
    // `complete` is false when it ran out during the walk.
    open(bytes) {
        const at = this.x.prepare(bytes.length);
        if (at === 0) {
            this.size = this.count = 0;
            this.complete = false;
            return false;
        }
        new Uint8Array(this.x.memory.buffer, at, bytes.length).set(bytes);
        this.base = at;
        this.size = bytes.length;
        const walked = this.x.walk();
        this.complete = walked >= 0;
        this.count = unsigned(this.x.tag_count());
        return true;
    }

    // Whether a file's first bytes are a start tag code in either byte
    // order: whether it is a blob at all.
    isBlob(bytes) {
        return bytes.length >= 4 &&
            this.x.is_start_code(new DataView(bytes.buffer, bytes.byteOffset, 4).getUint32(0, true)) !== 0;
    }

    // Reads a schema's text (bytes).  Returns null, or {line, reason} of
    // its first error.  Forgets the blob, whose place in memory moves: open
    // it again after.
    readSchema(bytes) {
        const at = this.x.prepare_schema(bytes.length);
        this.size = this.count = 0;
        this.complete = false;
        if (at === 0 && bytes.length !== 0)
            return { line: 0, reason: 'the page\'s memory cannot hold it' };
        new Uint8Array(this.x.memory.buffer, at, bytes.length).set(bytes);
        const code = this.x.read_schema();
        if (code === 0)
            return null;
        if (code < 0)
            return { line: 0, reason: 'the page\'s memory cannot hold its declarations' };
        return { line: unsigned(this.x.schema_error_line()), reason: this.cString(this.x.schema_error_reason()) };
    }

    dropSchema() {
        this.x.drop_schema();
        this.size = this.count = 0;
        this.complete = false;
    }

    get hasSchema() { return this.x.schema_loaded() !== 0; }
    get schemaCount() { return unsigned(this.x.schema_count()); }

    // The schema's check of the opened blob, when it is well formed: its
    // violations as vantrel-dump --schema reports them ({offset, record,
    // reason, name}), or null when memory ran out.
    check() {
        const found = this.x.check();
        if (found < 0)
            return null;
        const list = [];
        for (let i = 0; i < found; ++i) {
            const record = unsigned(this.x.violation_record(i));
            const reason = this.cString(this.x.violation_reason(i));
            list.push({ record, offset: this.offset(record), reason, name: this.declName(this.x.violation_decl(i)) });
        }
        return list;
    }

    // A declaration's name ('' for none: -1).
    declName(decl) { return decl === -1 ? '' : this.cString(this.x.decl_name(decl)); }
    // The declaration of record i's id and of its type (-1: none).
    decl(i) { return this.x.tag_decl(i); }
    typeDecl(i) { return this.x.tag_type_decl(i); }

    // The tag declaration named `name`, or -1.
    findName(name) {
        const bytes = new TextEncoder().encode(name);
        if (bytes.length > this.x.name_room_size())
            return -1;
        new Uint8Array(this.x.memory.buffer, this.x.name_room(), bytes.length).set(bytes);
        return this.x.find_tag_name(bytes.length);
    }

    // The field the byte at `position` is part of ('' for none).
    fieldAt(position) { return this.cString(this.x.field_at(position)); }

    // The file's bytes [from, to): a view, valid until the next open().
    bytes(from, to) {
        return new Uint8Array(this.x.memory.buffer, this.base + from, to - from);
    }

    verdict() {
        const code = this.x.fault_code();
        return {
            wellFormed: code === 0 && this.complete,
            faultCode: code,
            offset: this.x.fault_offset(),
            reason: this.cString(this.x.fault_reason()),
            startRead: this.x.start_read() !== 0,
            byteOrder: this.cString(this.x.byte_order()),
            length: unsigned(this.x.blob_length()),
            alignment: unsigned(this.x.alignment()),
            alignmentWhy: this.cString(this.x.alignment_why()),
        };
    }

    kind(i) { return this.kindNames[this.x.tag_kind(i)]; }
    offset(i) { return unsigned(this.x.tag_offset(i)); }
    id(i) { return unsigned(this.x.tag_id(i)); }
    end(i) { return unsigned(this.x.tag_end(i)); }
    level(i) { return this.x.tag_level(i); }
    parent(i) { return this.x.tag_parent(i); } // -1: none
    blockEnd(i) { return unsigned(this.x.tag_block_end(i)); }
    locate(position) { return this.x.locate(position); } // -1: no tag's bytes

    // The byte ranges of record i, for tinting (see web/inspect.c).
    parts(i) {
        const x = this.x;
        return {
            offset: unsigned(x.tag_offset(i)),
            fieldsAt: unsigned(x.tag_fields_at(i)),
            payloadAt: unsigned(x.tag_payload_at(i)),
            payloadEnd: unsigned(x.tag_payload_end(i)),
            end: unsigned(x.tag_end(i)),
        };
    }

    // Everything about record i.
    tag(i) {
        const x = this.x;
        return {
            index: i,
            kind: this.kind(i),
            level: x.tag_level(i),
            offset: unsigned(x.tag_offset(i)),
            end: unsigned(x.tag_end(i)),
            tagSize: unsigned(x.tag_tag_size(i)),
            id: unsigned(x.tag_id(i)),
            type: unsigned(x.tag_type(i)),
            size: unsigned(x.tag_size(i)),
            length: unsigned(x.tag_length(i)),
            value: (BigInt(unsigned(x.tag_value_high(i))) << 32n) | BigInt(unsigned(x.tag_value_low(i))),
            dataAt: unsigned(x.tag_data_at(i)),
            listed: unsigned(x.tag_listed(i)),
            cut: x.tag_cut(i) !== 0,
            parent: x.tag_parent(i),
            blockEnd: unsigned(x.tag_block_end(i)),
            name: this.declName(x.tag_decl(i)),
            typeName: this.declName(x.tag_type_decl(i)),
        };
    }

    // The payload bytes the dump lists for record i.
    payload(tag) {
        return this.bytes(tag.dataAt, tag.dataAt + tag.listed);
    }
}

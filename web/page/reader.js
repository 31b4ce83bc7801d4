// The reader in the page: the WebAssembly module built from
// vantrel_reader.h (web/inspect.c).  Every judgement about the bytes (where
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
        };
    }

    kind(i) { return this.kindNames[this.x.tag_kind(i)]; }
    offset(i) { return unsigned(this.x.tag_offset(i)); }
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
        };
    }

    // The payload bytes the dump lists for record i.
    payload(tag) {
        return this.bytes(tag.dataAt, tag.dataAt + tag.listed);
    }
}

// The file's bytes, 16 a row with an ASCII column.  Each byte is tinted by
// the kind of the tag it belongs to and by its part of that tag (header
// words, fields, payload, fill), as the module reports the ranges, and
// titled with its field and its tag's name in the schema; the selected
// tag's bytes, the cursor and the fault's byte (or the first byte of each
// tag that violates the schema) are marked.

const BYTES_PER_ROW = 16;

class HexView {
    constructor(element, onPick) {
        this.element = element;
        this.onPick = onPick;
        this.list = new VirtualList(element, (row) => this.rowHtml(row));
        this.reader = null;
        this.cursor = -1;
        this.marked = { from: 0, to: 0 };
        element.addEventListener('click', (event) => this.click(event));
        element.addEventListener('keydown', (event) => this.key(event));
    }

    // `faults`: the fault's byte, or the violations' bytes (none: []).  A
    // fault at or past the end of the file is shown on one more cell after
    // the last byte.
    load(reader, faults) {
        this.reader = reader;
        this.faults = new Set(faults.map((at) => Math.min(at, reader.size)));
        this.cells = reader.size + (this.faults.has(reader.size) ? 1 : 0);
        this.cursor = -1;
        this.marked = { from: 0, to: 0 };
        this.element.removeAttribute('aria-activedescendant');
        this.element.scrollTop = 0;
        this.list.setCount(Math.ceil(this.cells / BYTES_PER_ROW));
    }

    // Marks record i's bytes (-1: none).
    mark(i) {
        const reader = this.reader;
        this.marked = i < 0 ? { from: 0, to: 0 } : { from: reader.offset(i), to: reader.end(i) };
        this.list.render();
    }

    showByte(position) {
        this.list.showRow(Math.floor(position / BYTES_PER_ROW));
    }

    setCursor(position) {
        this.cursor = position;
        this.element.setAttribute('aria-activedescendant', `byte-${position}`);
        this.showByte(position);
    }

    // The tint of each byte of a row: [kind, part] or null for bytes that
    // belong to no tag listed.
    rowTints(from, to) {
        const reader = this.reader;
        const tints = [];
        let i = -1;
        let parts = null;
        for (let at = from; at < to; ++at) {
            if (at >= reader.size) {
                tints.push(null);
                continue;
            }
            if (parts === null || at >= parts.end || at < parts.offset) {
                i = reader.locate(at);
                parts = i >= 0 ? reader.parts(i) : { offset: at, end: at + 1 };
            }
            if (i < 0) {
                tints.push(null);
                continue;
            }
            const part = at < parts.fieldsAt ? 'head' : at < parts.payloadAt ? 'field'
                : at < parts.payloadEnd ? 'data' : 'fill';
            tints.push([reader.kind(i), part]);
        }
        return tints;
    }

    rowHtml(row) {
        const from = row * BYTES_PER_ROW;
        const to = Math.min(from + BYTES_PER_ROW, this.cells);
        const bytes = this.reader.bytes(from, Math.min(to, this.reader.size));
        const tints = this.rowTints(from, to);
        let cells = '';
        let text = '';
        for (let at = from; at < to; ++at) {
            const tint = tints[at - from];
            let classes = tint ? `k-${tint[0]} p-${tint[1]}` : 'free';
            if (at >= this.marked.from && at < this.marked.to)
                classes += ' sel';
            if (at === this.cursor)
                classes += ' cur';
            if (this.faults.has(at))
                classes += ' fault';
            if (at >= this.reader.size) {
                cells += `<span class="b eof ${classes}" id="byte-${at}" data-pos="${at}" role="gridcell"` +
                    ` title="end of file">EOF</span>`;
                continue;
            }
            const b = bytes[at - from];
            cells += `<span class="b ${classes}" id="byte-${at}" data-pos="${at}" role="gridcell"` +
                ` title="${escapeHtml(this.describe(at))}">${HEX_UPPER[b]}</span>`;
            const char = b >= 0x20 && b < 0x7f ? escapeHtml(String.fromCharCode(b)) : '.';
            text += `<span class="c ${classes}" data-pos="${at}">${char}</span>`;
        }
        return `<div class="hrow" role="row"><span class="off" role="rowheader">${hexPadded(from, 8)}</span>` +
            `<span class="cells">${cells}</span><span class="ascii" aria-hidden="true">${text}</span></div>`;
    }

    // A byte's field, and its tag's kind and name: "value · integer
    // period_ms" ('' for a byte of no tag).
    describe(at) {
        const field = this.reader.fieldAt(at);
        if (field === '')
            return '';
        const i = this.reader.locate(at);
        const name = this.reader.declName(this.reader.decl(i));
        return `${field} · ${this.reader.kind(i)}${name ? ` ${name}` : ''}`;
    }

    click(event) {
        const cell = event.target.closest('[data-pos]');
        if (cell)
            this.onPick(Number(cell.dataset.pos));
    }

    key(event) {
        if (!this.reader || this.cells === 0 || event.altKey || event.metaKey)
            return;
        const at = Math.max(0, this.cursor);
        // The first move of a view with no cursor yet lands on the first byte.
        const moves = ['ArrowRight', 'ArrowLeft', 'ArrowDown', 'ArrowUp', 'PageDown', 'PageUp', 'Home', 'End'];
        if (this.cursor < 0 && moves.includes(event.key) && !event.ctrlKey) {
            event.preventDefault();
            this.onPick(0);
            return;
        }
        const page = (this.list.rowsInView - 1) * BYTES_PER_ROW;
        const rowStart = at - (at % BYTES_PER_ROW);
        let to;
        switch (event.key) {
        case 'ArrowRight': to = at + 1; break;
        case 'ArrowLeft': to = at - 1; break;
        case 'ArrowDown': to = at + BYTES_PER_ROW; break;
        case 'ArrowUp': to = at - BYTES_PER_ROW; break;
        case 'PageDown': to = at + page; break;
        case 'PageUp': to = at - page; break;
        case 'Home': to = event.ctrlKey ? 0 : rowStart; break;
        case 'End': to = event.ctrlKey ? this.cells - 1 : rowStart + BYTES_PER_ROW - 1; break;
        default: return;
        }
        event.preventDefault();
        this.onPick(Math.max(0, Math.min(this.cells - 1, to)));
    }
}

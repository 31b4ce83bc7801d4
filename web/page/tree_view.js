// The tags as an indented tree, indented as the listing indents them; a
// block's start tag folds the block away.  Only the rows in view are in
// the document: `visible` maps each row to its record, `rowOf` back.

class TreeView {
    constructor(element, onSelect) {
        this.element = element;
        this.onSelect = onSelect;
        this.list = new VirtualList(element, (row) => this.rowHtml(row));
        this.reader = null;
        this.selected = -1;
        this.visible = new Int32Array(0);
        element.addEventListener('click', (event) => this.click(event));
        element.addEventListener('keydown', (event) => this.key(event));
    }

    load(reader) {
        this.reader = reader;
        this.folded = new Uint8Array(reader.count);
        this.rowOf = new Int32Array(reader.count);
        this.selected = -1;
        this.element.removeAttribute('aria-activedescendant');
        this.element.scrollTop = 0;
        this.rebuild();
    }

    // A record whose block holds more records than its own.
    foldable(i) {
        return this.reader.blockEnd(i) > i + 1;
    }

    rebuild() {
        const reader = this.reader;
        const visible = new Int32Array(reader.count);
        this.rowOf.fill(-1);
        let rows = 0;
        for (let i = 0; i < reader.count; ++i) {
            this.rowOf[i] = rows;
            visible[rows++] = i;
            if (this.folded[i])
                i = reader.blockEnd(i) - 1;
        }
        this.visible = visible.subarray(0, rows);
        this.element.setAttribute('aria-rowcount', String(rows));
        this.list.setCount(rows);
    }

    rowHtml(row) {
        const reader = this.reader;
        const i = this.visible[row];
        const tag = reader.tag(i);
        const selected = i === this.selected;
        const foldable = this.foldable(i);
        const expanded = foldable ? ` aria-expanded="${!this.folded[i]}"` : '';
        const twisty = foldable ? (this.folded[i] ? '▸' : '▾') : '';
        return `<div class="row k-${tag.kind}${selected ? ' sel' : ''}${tag.cut ? ' cut' : ''}" role="treeitem"` +
            ` id="tag-${i}" data-index="${i}" data-kind="${tag.kind}" data-offset="${tag.offset}"` +
            ` aria-level="${tag.level + 1}" aria-selected="${selected}"${expanded}>` +
            `<span class="indent" style="width:${tag.level * 1.5}em"></span>` +
            `<span class="twisty" aria-hidden="true">${twisty}</span>` +
            `<span class="label">[${tag.kind}]</span> <span class="fields">${escapeHtml(this.fieldsText(tag))}</span>` +
            `<span class="at">@${hex(tag.offset)}</span></div>`;
    }

    // The fields as the listing writes them, with the schema's names after
    // the id and the type as vantrel-dump --schema has them.
    fieldsText(tag) {
        const reader = this.reader;
        const cut = tag.cut ? ` (${tag.listed} of ${tag.size} bytes before the end of the file)` : '';
        const id = `id=${hex(tag.id)}${tag.name ? ` ${tag.name}` : ''}`;
        switch (tag.kind) {
        case 'start':
            return `length=${tag.length}`;
        case 'string':
            return `${id}, size=${tag.size}, data="${displayText(reader.payload(tag), 48)}"`;
        case 'integer':
            return `${id}, data=${BigInt.asIntN(64, tag.value)}/0x${tag.value.toString(16).toUpperCase()}`;
        case 'data_block': {
            const shown = reader.payload(tag).subarray(0, 12);
            const more = tag.listed > shown.length ? '…' : '';
            const type = `type=${hex(tag.type)}${tag.typeName ? ` ${tag.typeName}` : ''}`;
            return `${id}, ${type}, size=${tag.size}, data=<${bytesHex(shown)}${more}>${cut}`;
        }
        default:
            return '';
        }
    }

    // Selects record i (-1: none), unfolding the blocks around it, and
    // scrolls to it.
    select(i) {
        this.selected = i;
        if (i < 0) {
            this.element.removeAttribute('aria-activedescendant');
            this.list.render();
            return;
        }
        let unfolded = false;
        for (let p = this.reader.parent(i); p >= 0; p = this.reader.parent(p))
            if (this.folded[p]) {
                this.folded[p] = 0;
                unfolded = true;
            }
        if (unfolded)
            this.rebuild();
        this.list.showRow(this.rowOf[i]);
        this.element.setAttribute('aria-activedescendant', `tag-${i}`);
    }

    toggle(i) {
        if (!this.foldable(i))
            return;
        this.folded[i] ^= 1;
        this.rebuild();
        this.select(i);
    }

    click(event) {
        const row = event.target.closest('.row');
        if (!row)
            return;
        const i = Number(row.dataset.index);
        if (event.target.closest('.twisty') && this.foldable(i))
            this.toggle(i);
        this.onSelect(i);
    }

    key(event) {
        if (!this.reader || this.reader.count === 0 || event.altKey || event.ctrlKey || event.metaKey)
            return;
        const rows = this.visible.length;
        const current = this.selected >= 0 ? this.rowOf[this.selected] : -1;
        const i = this.selected;
        const page = this.list.rowsInView - 1;
        let row = null;
        switch (event.key) {
        case 'ArrowDown': row = current + 1; break;
        case 'ArrowUp': row = current - 1; break;
        case 'PageDown': row = current + page; break;
        case 'PageUp': row = current - page; break;
        case 'Home': row = 0; break;
        case 'End': row = rows - 1; break;
        case 'ArrowRight':
            if (i >= 0 && this.foldable(i) && this.folded[i])
                this.toggle(i);
            else
                row = current + 1;
            break;
        case 'ArrowLeft':
            if (i >= 0 && this.foldable(i) && !this.folded[i])
                this.toggle(i);
            else if (i >= 0 && this.reader.parent(i) >= 0)
                row = this.rowOf[this.reader.parent(i)];
            break;
        case 'Enter':
        case ' ':
            if (i >= 0)
                this.toggle(i);
            break;
        default:
            return;
        }
        event.preventDefault();
        if (row !== null)
            this.onSelect(this.visible[Math.max(0, Math.min(rows - 1, row))]);
    }
}

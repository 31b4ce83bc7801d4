// A scrolling list of equal rows that keeps only the rows in view in the
// document, so that a blob of many MiB (a million hex rows, a million tags)
// opens and scrolls as fast as a small one.  Browsers cap an element's
// height (Firefox near 17.9 million pixels): past MAX_SPACER pixels the
// scroll range stands for the rows in proportion.

const MAX_SPACER = 4_000_000;

class VirtualList {
    // `scroller` scrolls; renderRow(index) gives a row's HTML.
    constructor(scroller, renderRow) {
        this.scroller = scroller;
        this.renderRow = renderRow;
        this.count = 0;
        this.spacer = document.createElement('div');
        this.spacer.className = 'vl-spacer';
        this.spacer.setAttribute('role', 'none');
        this.rows = document.createElement('div');
        this.rows.className = 'vl-rows';
        this.rows.setAttribute('role', 'none');
        this.spacer.append(this.rows);
        scroller.append(this.spacer);
        this.pending = false;
        this.pinned = null; // see showRow()
        scroller.addEventListener('scroll', () => this.schedule());
        new ResizeObserver(() => this.schedule()).observe(scroller);
    }

    get rowHeight() {
        return parseFloat(getComputedStyle(this.scroller).getPropertyValue('--row-height')) || 20;
    }

    // Whole rows the scroller shows at once.
    get rowsInView() {
        return Math.max(1, Math.floor(this.scroller.clientHeight / this.rowHeight));
    }

    setCount(count) {
        this.count = count;
        this.pinned = null;
        this.spacer.style.height = `${Math.min(count * this.rowHeight, MAX_SPACER)}px`;
        this.render();
    }

    get scaled() {
        return this.count * this.rowHeight > MAX_SPACER;
    }

    // The scroll range past which the last rows are in view, and the rows
    // it stands for.
    range() {
        return {
            pixels: Math.max(0, this.spacer.offsetHeight - this.scroller.clientHeight),
            rows: Math.max(0, this.count - this.rowsInView),
        };
    }

    firstRow() {
        const top = this.scroller.scrollTop;
        if (this.pinned?.top === top)
            return this.pinned.first;
        if (!this.scaled)
            return Math.min(Math.floor(top / this.rowHeight), Math.max(0, this.count - 1));
        const { pixels, rows } = this.range();
        return pixels === 0 ? 0 : Math.round((top / pixels) * rows);
    }

    schedule() {
        if (this.pending)
            return;
        this.pending = true;
        requestAnimationFrame(() => {
            this.pending = false;
            this.render();
        });
    }

    render() {
        const first = this.firstRow();
        const last = Math.min(this.count, first + this.rowsInView + 2);
        const top = this.scaled ? this.scroller.scrollTop : first * this.rowHeight;
        this.rows.style.transform = `translateY(${top}px)`;
        let html = '';
        for (let row = first; row < last; ++row)
            html += this.renderRow(row);
        this.rows.innerHTML = html;
    }

    // Where `row` stands in the view, in pixels from its top.
    rowTop(row) {
        if (this.scaled)
            return (row - this.firstRow()) * this.rowHeight;
        return row * this.rowHeight - this.scroller.scrollTop;
    }

    // Scrolls so that `row` is in view: no move when it is wholly, else it
    // comes to the middle.
    showRow(row) {
        const top = this.rowTop(row);
        if (top < 0 || top + this.rowHeight > this.scroller.clientHeight) {
            const inView = this.rowsInView;
            const first = Math.max(0, Math.min(row - Math.floor(inView / 2), this.count - inView));
            this.scroller.scrollTop = this.scrollTopFor(first);
            // A scaled range has fewer pixels than rows, so the position
            // may stand for a row near `first`: while the view stays where
            // it was put, `first` is the row drawn at its top.
            this.pinned = this.scaled ? { top: this.scroller.scrollTop, first } : null;
        }
        this.render();
    }

    scrollTopFor(firstRow) {
        if (!this.scaled)
            return firstRow * this.rowHeight;
        const { pixels, rows } = this.range();
        return rows === 0 ? 0 : Math.ceil((firstRow / rows) * pixels);
    }
}

// The page: a file picked or dropped goes to the module; the summary, the
// tree and the hex view show what it found.  Selection goes both ways: a
// tag picked in the tree marks its bytes, a byte picked marks its tag.

const $ = (selector) => document.querySelector(selector);

function summaryHtml(fileName, reader, verdict) {
    const rows = [['File', escapeHtml(visibleText(fileName))], ['Size', sizeText(reader.size)]];
    if (verdict.startRead) {
        rows.push(['Byte order', `${verdict.byteOrder}-endian`]);
        rows.push(['Alignment', verdict.alignment ? String(verdict.alignment) : 'not known from these bytes']);
        rows.push(['Length', `${verdict.length.toLocaleString('en')} bytes (start tag)`]);
        rows.push(['Tags', reader.count.toLocaleString('en')]);
    }
    let judged;
    if (!reader.complete)
        judged = `<span id="verdict" class="verdict unknown">not walked to the end</span>: the page ran out of memory ` +
            `after ${reader.count.toLocaleString('en')} tags`;
    else if (verdict.wellFormed)
        judged = '<span id="verdict" class="verdict ok">well formed</span>';
    else
        judged = `<span id="verdict" class="verdict bad">fault</span> at <span id="fault-offset">${hex(verdict.offset)}</span>` +
            ` (byte ${verdict.offset.toLocaleString('en')}): <span id="fault-reason">${escapeHtml(verdict.reason)}</span>` +
            ' <button type="button" id="show-fault">Show the fault</button>';
    rows.push(['Verdict', judged]);
    return rows.map(([name, value]) => `<div><dt>${name}</dt><dd>${value}</dd></div>`).join('');
}

async function start() {
    const reader = await loadReader(MODULE_BASE64);
    let fileName = '';
    let verdict = null;
    const status = $('#status');
    const say = (text) => { status.textContent = text; };

    const tree = new TreeView($('#tree'), (i) => {
        tree.select(i);
        hexView.mark(i);
        hexView.showByte(reader.offset(i));
    });
    const hexView = new HexView($('#hex'), (position) => {
        const i = position < reader.size ? reader.locate(position) : -1;
        hexView.setCursor(position);
        hexView.mark(i);
        tree.select(i);
    });

    // Each open() takes a ticket: a file picked while the last one is
    // still being read wins.
    let tickets = 0;

    async function open(file) {
        const ticket = ++tickets;
        document.body.dataset.state = 'loading';
        performance.clearMarks();
        performance.clearMeasures();
        performance.mark('vantrel-open-start');
        say(`Reading ${visibleText(file.name)}…`);
        const bytes = new Uint8Array(await file.arrayBuffer());
        if (ticket !== tickets)
            return;
        if (!reader.open(bytes)) {
            // The last file is gone from the module's memory too.
            $('#summary').innerHTML = '';
            tree.load(reader);
            hexView.load(reader, -1);
            for (const button of document.querySelectorAll('.needs-blob'))
                button.disabled = true;
            say(`${visibleText(file.name)}: ${sizeText(bytes.length)} do not fit in the page's memory.`);
            document.body.dataset.state = 'failed';
            return;
        }
        fileName = file.name;
        verdict = reader.verdict();
        document.title = `${visibleText(fileName)} · vantrel inspector`;
        $('#summary').innerHTML = summaryHtml(fileName, reader, verdict);
        $('#show-fault')?.addEventListener('click', showFault);
        document.body.classList.add('has-blob');
        const faultAt = verdict.faultCode !== 0 ? verdict.offset : -1;
        tree.load(reader);
        hexView.load(reader, faultAt);
        // A walk cut short by memory has no whole JSON to give.
        for (const button of document.querySelectorAll('.needs-blob'))
            button.disabled = !reader.complete;
        performance.measure('vantrel-open', 'vantrel-open-start');
        say(`Opened ${visibleText(fileName)}: ${verdict.wellFormed ? 'well formed' : 'with a fault'}.`);
        document.body.dataset.state = 'loaded';
    }

    function showFault() {
        if (verdict && verdict.faultCode !== 0) {
            hexView.onPick(Math.min(verdict.offset, reader.size));
            $('#hex').focus();
        }
    }

    // The JSON as a Blob, or null when the browser could not make it or
    // keep it (the status line then says why).  Made on the frame after the
    // status line says it is being written.
    async function json(doing) {
        const name = visibleText(fileName);
        say(`${doing} the JSON of ${name}…`);
        await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
        let blob = null;
        try {
            blob = dumpJson(reader, fileName, 'application/json');
            // A browser keeps Blobs up to a size of its own (Chromium, when
            // it may not write them to disk, some 500 MB in all) and past it
            // fails them only when they are read.
            await blob.slice(blob.size - 1).arrayBuffer();
            return blob;
        } catch (error) {
            const size = blob ? ` (${sizeText(blob.size)})` : '';
            say(`The browser could not hold the JSON of ${name}${size}: ${error.message} ` +
                'vantrel-dump --json writes it.');
            return null;
        }
    }

    $('#open').addEventListener('click', () => $('#file').click());
    $('#file').addEventListener('change', (event) => {
        const file = event.target.files[0];
        if (file)
            open(file);
    });
    $('#copy-json').addEventListener('click', async () => {
        const blob = await json('Copying');
        if (!blob)
            return;
        try {
            const text = await blob.text();
            await navigator.clipboard.writeText(text);
            say(`Copied the JSON (${sizeText(text.length)}).`);
        } catch (error) {
            say(`The browser refused the clipboard (${error.message}): use Save JSON.`);
        }
    });
    $('#save-json').addEventListener('click', async () => {
        const name = fileName;
        const blob = await json('Saving');
        if (!blob)
            return;
        const link = document.createElement('a');
        link.href = URL.createObjectURL(blob);
        link.download = `${name}.json`;
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
        say(`Saved ${visibleText(name)}.json (${sizeText(blob.size)}).`);
    });

    // A file dropped anywhere on the page.
    document.addEventListener('dragover', (event) => {
        event.preventDefault();
        document.body.classList.add('dragging');
    });
    document.addEventListener('dragleave', (event) => {
        if (event.relatedTarget === null)
            document.body.classList.remove('dragging');
    });
    document.addEventListener('drop', (event) => {
        event.preventDefault();
        document.body.classList.remove('dragging');
        const file = event.dataTransfer.files[0];
        if (file)
            open(file);
    });

    // "f" goes to the fault from anywhere but a text field.
    document.addEventListener('keydown', (event) => {
        if (event.key === 'f' && !event.ctrlKey && !event.metaKey && !event.altKey &&
            !event.target.closest('input, textarea'))
            showFault();
    });
    document.body.dataset.state = 'ready';
}

start().catch((error) => {
    document.body.dataset.state = 'broken';
    $('#status').textContent = `The inspector could not start: ${error.message}`;
});

// The page: files picked or dropped go to the module (a blob, and a schema
// beside it, told apart by their bytes); the summary, the tree and the hex
// view show what it found.  Selection goes both ways: a tag picked in the
// tree marks its bytes, a byte picked marks its tag and says its field.

const $ = (selector) => document.querySelector(selector);

// Whether a file's bytes are text, as a schema is: some bytes, UTF-8 (read
// as far as the first 64 KiB), and no controls but blanks and line ends.
function isText(bytes) {
    const head = bytes.subarray(0, 65536);
    if (head.length === 0 || head.some((b) => (b < 0x20 && (b < 0x09 || b > 0x0d)) || b === 0x7f))
        return false;
    try {
        new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(head, { stream: true });
        return true;
    } catch {
        return false;
    }
}

function verdictHtml(reader, verdict, schema, violations) {
    const count = reader.count.toLocaleString('en');
    const at = (offset) => `at <span id="fault-offset">${hex(offset)}</span> (byte ${offset.toLocaleString('en')})`;
    const button = ' <button type="button" id="show-fault">Show the fault</button>';
    if (!reader.complete)
        return `<span id="verdict" class="verdict unknown">not walked to the end</span>: the page ran out of memory ` +
            `after ${count} tags`;
    if (!verdict.isBlob)
        return '<span id="verdict" class="verdict bad">not a blob</span>: it does not begin with a start tag code ' +
            `in either byte order (${at(verdict.offset)}: <span id="fault-reason">${escapeHtml(verdict.reason)}</span>)`;
    if (!verdict.wellFormed)
        return `<span id="verdict" class="verdict bad">fault</span> ${at(verdict.offset)}: ` +
            `<span id="fault-reason">${escapeHtml(verdict.reason)}</span>` +
            (schema.read ? ' (a blob is checked against its schema once it is well formed)' : '') + button;
    if (!schema.read)
        return '<span id="verdict" class="verdict ok">well formed</span>';
    if (violations === null)
        return '<span id="verdict" class="verdict ok">well formed</span>, not checked against the schema: the page ' +
            'ran out of memory';
    if (violations.length === 0)
        return '<span id="verdict" class="verdict ok">well formed</span> and <span id="schema-verdict" ' +
            'class="verdict ok">as the schema says</span>';
    const first = violations[0];
    const more = violations.length > 1 ? ` (${(violations.length - 1).toLocaleString('en')} more marked in the ` +
        'bytes, all in the JSON)' : '';
    return '<span id="verdict" class="verdict bad">violates the schema</span> ' + at(first.offset) +
        `: <span id="fault-reason">${escapeHtml(first.name ? `${first.name}: ${first.reason}` : first.reason)}</span>` +
        more + button;
}

function summaryHtml(fileName, reader, verdict, schema, violations) {
    const rows = [];
    if (fileName !== '')
        rows.push(['File', escapeHtml(visibleText(fileName))], ['Size', sizeText(reader.size)]);
    if (schema.name !== '') {
        const state = schema.error
            ? `<span id="schema-error">line ${schema.error.line}: ${escapeHtml(schema.error.reason)}</span>`
            : `${schema.declarations} declarations`;
        rows.push(['Schema', `<span id="schema-name">${escapeHtml(visibleText(schema.name))}</span>: ${state}` +
            ' <button type="button" id="drop-schema">Drop</button>']);
    }
    if (fileName !== '' && verdict.startRead) {
        rows.push(['Byte order', `${verdict.byteOrder}-endian`]);
        rows.push(['Alignment', verdict.alignment ? String(verdict.alignment)
            : `<span id="alignment-why" title="${escapeHtml(verdict.alignmentWhy)}">not known from these bytes: ` +
              `${escapeHtml(verdict.alignmentWhy)}</span>`]);
        rows.push(['Length', `${verdict.length.toLocaleString('en')} bytes (start tag)`]);
        rows.push(['Tags', reader.count.toLocaleString('en')]);
    }
    if (fileName !== '')
        rows.push(['Verdict', verdictHtml(reader, verdict, schema, violations)]);
    return rows.map(([name, value]) => `<div><dt>${name}</dt><dd>${value}</dd></div>`).join('');
}

async function start() {
    const reader = await loadReader(MODULE_BASE64);
    let blobFile = null;
    let fileName = '';
    let verdict = null;
    let violations = null;
    let violatedBy = new Map(); // record → its first violation
    // The schema beside the blob: its file's name, and its error or its
    // number of declarations.
    let schema = { name: '', read: false, error: null, declarations: 0 };
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
        showByteInfo(position, i);
    });

    // What the byte at the cursor is: its field, its tag and declaration.
    function showByteInfo(position, i) {
        const where = `${hex(position)} (byte ${position.toLocaleString('en')})`;
        let text;
        if (position >= reader.size)
            text = `${where}: the end of the file`;
        else if (i < 0)
            text = `${where}: in no tag the walk read`;
        else {
            const tag = reader.tag(i);
            text = `${where}: ${reader.fieldAt(position)} of the ${tag.kind.replace('_', ' ')} at ${hex(tag.offset)}`;
            if (tag.name)
                text += `, declared as ${tag.name}`;
            const broken = violatedBy.get(i);
            if (broken)
                text += `; violates the schema: ${broken.reason}`;
        }
        $('#byte-info').textContent = text;
    }

    // Each open takes a ticket: files picked while the last ones are still
    // being read win.
    let tickets = 0;

    // Opens the files picked or dropped together: a blob (a file that
    // begins with a start tag code, or any file that is not text) and a
    // schema (text) beside it.  A schema alone is checked against the blob
    // open; a blob alone keeps the schema.
    async function openFiles(files) {
        const ticket = ++tickets;
        document.body.dataset.state = 'loading';
        performance.clearMarks();
        performance.clearMeasures();
        performance.mark('vantrel-open-start');
        say(`Reading ${files.map((f) => visibleText(f.name)).join(', ')}…`);
        let blobPick = null;
        let schemaPick = null;
        for (const file of files) {
            const bytes = new Uint8Array(await file.arrayBuffer());
            if (ticket !== tickets)
                return;
            const isSchema = !reader.isBlob(bytes) && isText(bytes);
            if (isSchema && !schemaPick)
                schemaPick = { file, bytes };
            else if (!isSchema && !blobPick)
                blobPick = { file, bytes };
        }
        if (schemaPick) {
            const error = reader.readSchema(schemaPick.bytes);
            schema = { name: schemaPick.file.name, read: !error, error, declarations: unsigned(reader.schemaCount) };
        }
        // A schema read moves the blob in memory: the blob open is read again.
        if (!blobPick && blobFile && schemaPick) {
            const bytes = new Uint8Array(await blobFile.arrayBuffer());
            if (ticket !== tickets)
                return;
            blobPick = { file: blobFile, bytes };
        }
        if (blobPick)
            openBlob(blobPick.file, blobPick.bytes);
        else
            show();
        performance.measure('vantrel-open', 'vantrel-open-start');
    }

    function openBlob(file, bytes) {
        if (!reader.open(bytes)) {
            // The last file is gone from the module's memory too.
            blobFile = null;
            fileName = '';
            show();
            say(`${visibleText(file.name)}: ${sizeText(bytes.length)} do not fit in the page's memory.`);
            document.body.dataset.state = 'failed';
            return;
        }
        blobFile = file;
        fileName = file.name;
        verdict = reader.verdict();
        verdict.isBlob = reader.isBlob(bytes);
        violations = schema.read && verdict.wellFormed ? reader.check() : [];
        violatedBy = new Map();
        for (const v of [...(violations ?? [])].reverse())
            violatedBy.set(v.record, v);
        show();
    }

    // Shows the blob open (if any) and the schema.
    function show() {
        const open = fileName !== '';
        $('#summary').innerHTML = summaryHtml(fileName, reader, verdict, schema, violations);
        $('#show-fault')?.addEventListener('click', showFault);
        $('#drop-schema')?.addEventListener('click', dropSchema);
        document.title = open ? `${visibleText(fileName)} · vantrel inspector` : 'vantrel inspector';
        document.body.classList.toggle('has-blob', open);
        tree.load(reader);
        hexView.load(reader, !open ? [] : verdict.faultCode !== 0 ? [verdict.offset]
            : (violations ?? []).map((v) => v.offset));
        $('#byte-info').textContent = '';
        // A walk cut short by memory has no whole JSON to give.
        for (const button of document.querySelectorAll('.needs-blob'))
            button.disabled = !open || !reader.complete;
        document.body.dataset.state = 'loaded';
        const schemaText = schema.error ? `${visibleText(schema.name)} is not a schema: line ${schema.error.line}: ` +
            `${schema.error.reason}.` : '';
        if (!open) {
            say(schemaText || (schema.read ? `Read the schema ${visibleText(schema.name)}: open a blob to check it.` : ''));
            return;
        }
        let judged = verdict.wellFormed ? 'well formed' : 'with a fault';
        if (!verdict.isBlob)
            judged = 'not a blob (it does not begin with a start tag code)';
        else if (schema.read && verdict.wellFormed)
            judged += violations?.length ? ', violates the schema' : ', as the schema says';
        const against = schema.read ? ` against ${visibleText(schema.name)}` : '';
        say(`${schemaText ? `${schemaText} ` : ''}Opened ${visibleText(fileName)}${against}: ${judged}.`);
    }

    async function dropSchema() {
        reader.dropSchema();
        schema = { name: '', read: false, error: null, declarations: 0 };
        if (blobFile)
            await openFiles([blobFile]);
        else
            show();
    }

    // The box: an offset (a number, 0x for hex), "id=N" or "id N", or a name
    // the schema declares.
    function goTo(text) {
        const wanted = text.trim();
        const idMatch = /^id\s*[= ]\s*(\S+)$/i.exec(wanted);
        const number = (word) => (/^(0x[0-9a-f]+|\d+)$/i.test(word) ? Number(word) : NaN);
        if (fileName === '')
            return say('Open a blob first.');
        if (idMatch) {
            const id = number(idMatch[1]);
            for (let i = 0; i < reader.count; ++i)
                if (reader.kind(i) !== 'start' && reader.kind(i) !== 'end' && reader.id(i) === id)
                    return tree.onSelect(i);
            return say(Number.isNaN(id) ? `${visibleText(idMatch[1])} is no number.` : `No tag has id ${hex(id)}.`);
        }
        const offset = number(wanted.replace(/^@/, ''));
        if (!Number.isNaN(offset)) {
            if (offset >= hexView.cells)
                return say(`${hex(offset)} is past the file's last byte, ${hex(hexView.cells - 1)}.`);
            hexView.onPick(offset);
            return undefined;
        }
        if (!schema.read)
            return say(`${visibleText(wanted)}: a name needs a schema; open one beside the blob.`);
        const decl = reader.findName(wanted);
        if (decl < 0)
            return say(`The schema declares no tag named ${visibleText(wanted)}.`);
        for (let i = 0; i < reader.count; ++i)
            if (reader.decl(i) === decl)
                return tree.onSelect(i);
        return say(`No tag of ${visibleText(wanted)} in this blob.`);
    }

    function showFault() {
        const at = !verdict ? -1 : verdict.faultCode !== 0 ? verdict.offset : violations?.[0]?.offset ?? -1;
        if (at >= 0) {
            hexView.onPick(Math.min(at, reader.size));
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
            blob = dumpJson(reader, fileName, 'application/json', schema.read ? violations : null);
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
        if (event.target.files.length !== 0)
            openFiles([...event.target.files]);
    });
    $('#goto').addEventListener('submit', (event) => {
        event.preventDefault();
        goTo($('#goto-text').value);
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
        if (event.dataTransfer.files.length !== 0)
            openFiles([...event.dataTransfer.files]);
    });

    // "f" goes to the fault, "/" to the box, from anywhere but a text field.
    document.addEventListener('keydown', (event) => {
        if (event.ctrlKey || event.metaKey || event.altKey || event.target.closest('input, textarea'))
            return;
        if (event.key === 'f')
            showFault();
        else if (event.key === '/') {
            event.preventDefault();
            $('#goto-text').focus();
        }
    });
    document.body.dataset.state = 'ready';
}

start().catch((error) => {
    document.body.dataset.state = 'broken';
    $('#status').textContent = `The inspector could not start: ${error.message}`;
});

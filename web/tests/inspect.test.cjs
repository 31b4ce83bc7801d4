// The inspector page in headless chromium against vantrel-dump --json.
// Environment: VANTREL_SOURCE (the source tree), VANTREL_BUILD (a build with
// the page, the programs and tests/vantrel_make_seeds), VANTREL_WORK (a scratch
// folder: the blobs, and screenshots/ kept for people to look at),
// VANTREL_NODE_MODULES (where playwright-core is installed).
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const { makeCorpus, dumpJson, flatTags, nesting, generator } = require('./corpus.cjs');
const { Inspector } = require('./inspector.cjs');

const source = process.env.VANTREL_SOURCE ?? path.resolve(__dirname, '../..');
const build = process.env.VANTREL_BUILD;
const work = process.env.VANTREL_WORK;
const blobs = path.join(work ?? '', 'blobs');
const screenshots = path.join(work ?? '', 'screenshots');

// JSON text with every object's members in name order: parsed values
// compared without the recursion of assert.deepEqual, which blocks nested
// a thousand levels deep exhaust.
const canonical = (value) => JSON.stringify(value, (key, v) => (v && typeof v === 'object' && !Array.isArray(v)
    ? Object.fromEntries(Object.entries(v).sort(([a], [b]) => (a < b ? -1 : a > b ? 1 : 0))) : v));

let inspector;
let names;
let expected;

before(async () => {
    assert.ok(build && work, 'VANTREL_BUILD and VANTREL_WORK must be set');
    names = makeCorpus({ source, build, dir: blobs });
    expected = dumpJson(build, blobs, names);
    fs.mkdirSync(screenshots, { recursive: true });
    inspector = await Inspector.launch(path.join(build, 'web', 'vantrel-inspect.html'));
});

after(async () => {
    await inspector?.close();
});

// The alignment the summary gives blobs of the corpus it can tell it of.
const ALIGNMENTS = { 'device-settings.dat': '8', 'device-settings-a32.dat': '32' };

test('every blob: the verdict, tags and JSON are those of vantrel-dump --json', async (t) => {
    const kinds = new Set();
    let faulty = 0;
    for (const name of names) {
        const { line, json } = expected.get(name);
        await inspector.open(path.join(blobs, name));
        const shown = await inspector.verdict();
        if (json.error) {
            ++faulty;
            kinds.add(json.error.reason.replace(/(: 0x| \(value: ).*/, ''));
            assert.equal(shown.verdict, startsAsBlob(path.join(blobs, name)) ? 'fault' : 'not a blob', name);
            assert.equal(Number.parseInt(shown.offset, 16), json.error.offset, `${name}: offset`);
            assert.equal(shown.reason, json.error.reason, `${name}: reason`);
        } else {
            assert.equal(shown.verdict, 'well formed', name);
        }
        if (ALIGNMENTS[name])
            assert.equal((await inspector.summary()).Alignment, ALIGNMENTS[name], `${name}: alignment`);

        // The tree lists the tags the dump lists, in its order, with its
        // ids and values, plus the blob's own start tag and the end tags.
        const tree = await inspector.treeRows();
        assert.equal(tree.rows.length, tree.count, `${name}: every row seen`);
        const listed = tree.rows.filter((row, i) => i > 0 && row.kind !== 'end');
        const tags = flatTags(json.tags);
        assert.deepEqual(listed.map((r) => [r.kind, r.offset]), tags.map((tag) => [tag.tag, tag.offset]),
            `${name}: tags`);
        // Tags in the blob's own block are on the tree's second level.
        assert.deepEqual(listed.map((r) => r.level), nesting(json.tags).map((depth) => depth + 2), `${name}: levels`);
        listed.forEach((row, i) => {
            if (tags[i].id !== undefined)
                assert.match(row.fields, new RegExp(`^id=0x${tags[i].id.toString(16)},`), `${name}: id`);
            if (tags[i].tag === 'integer')
                assert.ok(row.fields.endsWith(`/${tags[i].hex}`), `${name}: ${row.fields} ends in ${tags[i].hex}`);
        });
        if (json.tags === undefined)
            assert.equal(tree.count, 0, `${name}: no tree without a start tag`);

        // Save JSON writes the dump's line, byte for byte.
        const saved = await inspector.savedJson();
        assert.equal(canonical(JSON.parse(saved)), canonical(json), `${name}: JSON`);
        assert.equal(saved, `${line}\n`, `${name}: JSON text`);

        // The fault's byte is marked, and "Show the fault" goes to it.
        if (json.error && json.tags !== undefined) {
            await inspector.page.click('#show-fault');
            await inspector.frame();
            const marks = await inspector.marks();
            const size = fs.statSync(path.join(blobs, name)).size;
            const at = Math.min(json.error.offset, size);
            assert.deepEqual(marks.fault, [at], `${name}: fault mark`);
            assert.deepEqual(marks.cursor, [at], `${name}: cursor on the fault`);
        }
    }
    t.diagnostic(`${names.length} blobs, ${faulty} with faults of ${kinds.size} kinds: ${[...kinds].join(' | ')}`);
    // A corpus that stopped reaching the faults would prove little.
    assert.ok(faulty >= names.length / 3, `only ${faulty} faulty blobs`);
    assert.ok(kinds.size >= 6, `only ${kinds.size} kinds of fault`);
    assert.deepEqual(inspector.errors, [], 'script errors on the page');
});

// Whether a file begins with a start tag code in either byte order.
function startsAsBlob(file) {
    const bytes = fs.readFileSync(file);
    return bytes.length >= 4 && [0x7a600001, 0x0100607a].includes(bytes.readUInt32LE(0));
}

// The schemas the schema case reads: the example's, and one of every
// declaration form (types by name and number, a const, str with max,
// optional, table; int unsigned, signed, table; data with a size and a
// size range), its ids where the corpus blobs have tags.
const SCHEMAS = {
    'device-settings.schema': null,
    'every-form.schema': [
        'type T1 1', 'type T2 0x7', 'const LIMIT 0xFFFF_FFFF', '# a comment line',
        'str name 1 max 8', 'int count 2 0..1000 optional', 'int offset 3 -5..5', 'data blob 4 T1 size 4..64',
        'data raw 5 7 size 16 optional', 'str texts 0x10..0x1F table', 'int values 0x100..0x1FF table',
        'str model 0x100_0 max 32  # ids in no blob: missing', 'int period 0x200 10..60_000 optional',
    ].join('\n') + '\n',
};

test('with a schema: names, the verdict, the marked tag and the JSON are those of vantrel-dump --schema --json',
    async (t) => {
        let violating = 0;
        const reasons = new Set();
        for (const [schemaName, text] of Object.entries(SCHEMAS)) {
            const schemaPath = text === null ? path.join(source, 'examples', schemaName) : path.join(work, schemaName);
            if (text !== null)
                fs.writeFileSync(schemaPath, text);
            const want = dumpJson(build, blobs, names, ['--schema', schemaPath]);
            // Picked together with the first blob, the schema stays for the others.
            await inspector.open([schemaPath, path.join(blobs, names[0])], names[0]);
            assert.equal(await inspector.page.textContent('#schema-name'), schemaName);
            for (const name of names) {
                const { line, json } = want.get(name);
                if (name !== names[0])
                    await inspector.open(path.join(blobs, name));
                const shown = await inspector.verdict();
                const where = `${schemaName}, ${name}`;
                if (json.violations) {
                    ++violating;
                    const first = json.violations[0];
                    reasons.add(first.reason.replace(/ .*/, ''));
                    assert.equal(shown.verdict, 'violates the schema', where);
                    assert.equal(Number.parseInt(shown.offset, 16), first.offset, `${where}: offset`);
                    assert.equal(shown.reason, first.name ? `${first.name}: ${first.reason}` : first.reason, where);
                    await inspector.page.click('#show-fault');
                    await inspector.frame();
                    const marks = await inspector.marks();
                    assert.ok(marks.fault.includes(first.offset), `${where}: ${first.offset} marked`);
                    assert.deepEqual(marks.cursor, [first.offset], `${where}: cursor on the violation`);
                } else if (!json.error) {
                    assert.equal(shown.verdict, 'well formed', where);
                }
                assert.equal(await inspector.savedJson(), `${line}\n`, `${where}: JSON text`);
                // The tree names what the JSON names (read for the blobs it names tags of).
                if (!flatTags(json.tags).some((tag) => tag.name))
                    continue;
                const tree = await inspector.treeRows();
                const listed = tree.rows.filter((row, i) => i > 0 && row.kind !== 'end');
                flatTags(json.tags).forEach((tag, i) => {
                    const named = tag.name ? ` ${tag.name}` : '';
                    if (tag.id !== undefined)
                        assert.ok(listed[i].fields.startsWith(`id=0x${tag.id.toString(16)}${named},`), `${where}: ${listed[i].fields}`);
                    if (tag.type_name)
                        assert.ok(listed[i].fields.includes(`type=0x${tag.type.toString(16)} ${tag.type_name},`), where);
                });
            }
            if (schemaName === 'device-settings.schema') {
                await inspector.open(path.join(blobs, 'device-settings.dat'));
                await inspector.page.click('#tree .row[data-kind="integer"]');
                await inspector.page.screenshot({ path: path.join(screenshots, 'schema.png') });
            }
        }
        await inspector.dropSchema();
        t.diagnostic(`${violating} checks with violations, first reasons: ${[...reasons].join(' | ')}`);
        assert.ok(violating >= names.length / 4, `only ${violating} violating`);
        assert.ok(reasons.size >= 4, `only ${reasons.size} kinds of violation`);
        assert.deepEqual(inspector.errors, [], 'script errors on the page');
    });

test('a first look: a byte says its field and declaration, the box goes to it, a PNG is no blob', async () => {
    const name = 'device-settings.dat';
    const schemaPath = path.join(source, 'examples', 'device-settings.schema');
    const { json } = dumpJson(build, blobs, [name], ['--schema', schemaPath]).get(name);
    await inspector.open([path.join(blobs, name), schemaPath], name);
    const page = inspector.page;
    const info = () => page.textContent('#byte-info');
    // Each kind's fields by their place in the tag (a string's payload and
    // terminator after its size).
    const FIELDS = {
        start: [[0, 'tag'], [4, 'tag_size'], [8, 'length'], [12, 'reserved']],
        string: [[0, 'tag'], [7, 'tag_size'], [8, 'id'], [12, 'size'], [16, 'payload'], [(tag) => 16 + tag.size, 'terminator']],
        integer: [[8, 'value'], [15, 'value'], [16, 'id'], [20, 'reserved']],
        data_block: [[8, 'type'], [12, 'id'], [16, 'size'], [20, 'payload']],
    };
    for (const tag of [{ tag: 'start', offset: 0 }, ...flatTags(json.tags)])
        for (const [at, field] of FIELDS[tag.tag]) {
            const position = tag.offset + (typeof at === 'function' ? at(tag) : at);
            await page.click(`#hex .b[data-pos="${position}"]`);
            const text = await info();
            assert.ok(text.includes(`: ${field} of the ${tag.tag.replace('_', ' ')} at 0x${tag.offset.toString(16)}`), text);
            assert.equal(text.includes(`declared as ${tag.name}`), tag.name !== undefined, text);
        }
    // The box: an offset, an id, a name; and what it cannot find.
    const period = flatTags(json.tags).find((tag) => tag.name === 'period_ms');
    for (const [typed, row, cursor] of [['0x21', null, 0x21], ['id=0x200', period.offset, null], ['period_ms', period.offset, null],
        ['id 0x999', null, null], ['no_such_name', null, null]]) {
        await inspector.goTo(typed);
        if (row !== null)
            assert.equal(await inspector.selectedRowOffset(), row, typed);
        if (cursor !== null)
            assert.deepEqual((await inspector.marks()).cursor, [cursor], typed);
        if (row === null && cursor === null)
            assert.match(await page.textContent('#status'), /^No tag|declares no tag/, typed);
    }
    // The focus frame lies outside the first row's label and the first
    // address digit.
    for (const [pane, first] of [['#tree', '.row .twisty'], ['#hex', '.off']]) {
        await page.focus(pane);
        const clear = await page.evaluate(([p, f]) => {
            const box = document.querySelector(p).getBoundingClientRect();
            const text = document.querySelector(`${p} ${f}`).getBoundingClientRect();
            const style = getComputedStyle(document.querySelector(p));
            const inner = -parseFloat(style.outlineOffset);
            return text.left >= box.left + inner && text.top >= box.top + inner;
        }, [pane, first]);
        assert.ok(clear, `${pane}: focus frame over its first row`);
    }
    await inspector.dropSchema();
    // A PNG is not a blob; a blob cut before its end tag tells why its
    // alignment is not known.
    const png = path.join(work, 'picture.png');
    fs.writeFileSync(png, Buffer.from('89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489', 'hex'));
    await inspector.open(png);
    assert.equal((await inspector.verdict()).verdict, 'not a blob');
    assert.match(await page.textContent('#status'), /^Opened picture\.png: not a blob/);
    const cut = path.join(work, 'cut.dat');
    fs.writeFileSync(cut, fs.readFileSync(path.join(blobs, name)).subarray(0, 40));
    await inspector.open(cut);
    assert.match((await inspector.summary()).Alignment, /^not known from these bytes: .*end tag .* not reached/);
    assert.deepEqual(inspector.errors, [], 'script errors on the page');
});

// The tag after `tag` in the dump's order: where its bytes end, for a tag
// that has one in its own block.
function nextOffset(json, offset) {
    const tags = flatTags(json.tags);
    return tags[tags.findIndex((tag) => tag.offset === offset) + 1].offset;
}

test('selecting a tag marks exactly its bytes, and a byte selects its tag', async () => {
    const name = 'device-settings.dat';
    const { json } = expected.get(name);
    await inspector.open(path.join(blobs, name));
    const cellClass = (at) => inspector.page.getAttribute(`#hex .b[data-pos="${at}"]`, 'class');
    for (const tag of flatTags(json.tags).slice(0, -1)) {
        await inspector.page.click(`#tree .row[data-offset="${tag.offset}"]`);
        await inspector.frame();
        const marks = await inspector.marks();
        const end = nextOffset(json, tag.offset);
        const want = Array.from({ length: end - tag.offset }, (_, i) => tag.offset + i);
        assert.deepEqual(marks.selected, want, `bytes of the ${tag.tag} at ${tag.offset}`);
        assert.deepEqual(marks.selectedText, want, `characters of the ${tag.tag} at ${tag.offset}`);
        assert.equal(await inspector.selectedRowOffset(), tag.offset);
        // Its two header words are tinted as the header, the word after
        // them as its first field.
        for (const [at, part] of [[tag.offset, 'head'], [tag.offset + 7, 'head'], [tag.offset + 8, 'field']])
            assert.match(await cellClass(at), new RegExp(`\\bk-${tag.tag} p-${part}\\b`), `byte ${at}`);
    }
    // The first byte of each tag, and one in its middle, select that tag.
    for (const tag of flatTags(json.tags).slice(0, -1)) {
        for (const at of [tag.offset, Math.floor((tag.offset + nextOffset(json, tag.offset)) / 2)]) {
            await inspector.page.click(`#hex .b[data-pos="${at}"]`);
            await inspector.frame();
            assert.equal(await inspector.selectedRowOffset(), tag.offset, `byte ${at}`);
            assert.deepEqual((await inspector.marks()).cursor, [at]);
        }
    }
    await inspector.page.click('#tree .row[data-offset="16"]');
    await inspector.page.screenshot({ path: path.join(screenshots, 'example.png') });
});

test('names and strings show their controls and invisible characters as escapes', async () => {
    // Each name, and the text of it in the summary, the title and the status line.
    const names = [
        ['pic\u202Etad.exe', 'pic\\u202etad.exe'],
        ['tab\there\x01\x1b[31m\x7f\x85.dat', 'tab\\there\\u0001\\u001b[31m\\u007f\\u0085.dat'],
        ['\u200B\uFEFF\u2060\u00AD\u2028\u2029\u061C.dat', '\\u200b\\ufeff\\u2060\\u00ad\\u2028\\u2029\\u061c.dat'],
    ];
    const dir = path.join(work, 'names');
    fs.rmSync(dir, { recursive: true, force: true });
    fs.mkdirSync(dir);
    const blob = compile('invisible', ['str 1 "a\u200Bb\uFEFFc\u2060d\u00ADe\u2028f\u2029g\u202Eh\\ttab"']);
    for (const [name] of names)
        fs.copyFileSync(blob, path.join(dir, name));
    const dumped = dumpJson(build, dir, names.map(([name]) => name));
    for (const [name, shown] of names) {
        await inspector.open(path.join(dir, name), shown);
        const seen = await inspector.page.evaluate(() => ({
            title: document.title,
            status: document.querySelector('#status').textContent,
            string: document.querySelector('#tree .row[data-kind="string"] .fields').textContent,
        }));
        assert.equal(seen.title, `${shown} · vantrel inspector`);
        assert.equal(seen.status, `Opened ${shown}: well formed.`);
        assert.ok(seen.string.endsWith('data="a\\u200bb\\ufeffc\\u2060d\\u00ade\\u2028f\\u2029g\\u202eh\\ttab"'),
            seen.string);
        // The JSON keeps the name and the text as the dump writes them.
        assert.equal(await inspector.savedJson(), `${dumped.get(name).line}\n`, `${shown}: JSON`);
        const status = await inspector.page.textContent('#status');
        assert.ok(status.startsWith(`Saved ${shown}.json (`), status);
    }
    await inspector.page.screenshot({ path: path.join(screenshots, 'names.png') });
});

test('the keyboard moves through tags and bytes and folds blocks', async () => {
    const name = 'seed-nested.dat';
    const { json } = expected.get(name);
    await inspector.open(path.join(blobs, name));
    const page = inspector.page;
    const nested = json.tags[0];
    assert.equal(nested.tag, 'start');
    const rowCount = async () => Number(await page.getAttribute('#tree', 'aria-rowcount'));
    const all = await rowCount();

    await page.focus('#tree');
    await page.keyboard.press('Home');
    await page.keyboard.press('ArrowDown');
    await inspector.frame();
    assert.equal(await inspector.selectedRowOffset(), nested.offset);
    await page.keyboard.press('ArrowLeft');
    await inspector.frame();
    assert.equal(await page.getAttribute(`#tree .row[data-offset="${nested.offset}"]`, 'aria-expanded'), 'false');
    // Folded away: the nested block's tags and its end tag.
    assert.equal(await rowCount(), all - flatTags(nested.tags).length - 1);
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowDown');
    await inspector.frame();
    assert.equal(await rowCount(), all);
    assert.equal(await inspector.selectedRowOffset(), nested.tags[0].offset);
    await page.keyboard.press('ArrowLeft');
    await inspector.frame();
    assert.equal(await inspector.selectedRowOffset(), nested.offset, 'left goes to the block');

    await page.focus('#hex');
    await page.keyboard.press('Control+Home');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('ArrowRight');
    await inspector.frame();
    assert.deepEqual((await inspector.marks()).cursor, [17]);
    assert.equal(await inspector.selectedRowOffset(), nested.offset);
    await page.keyboard.press('Control+End');
    await inspector.frame();
    const size = fs.statSync(path.join(blobs, name)).size;
    assert.deepEqual((await inspector.marks()).cursor, [size - 1]);
});

// Compiles source lines (inside the blob's braces) to WORK/NAME.dat.
function compile(name, lines, size = 1 << 25) {
    const text = path.join(work, `${name}.txt`);
    const blob = path.join(work, `${name}.dat`);
    fs.writeFileSync(text, ['{', ...lines, '}', ''].join('\n'));
    execFileSync(path.join(build, 'comp', 'vantrel-comp'), ['-s', String(size), '-o', blob, text]);
    return blob;
}

test('keyed through 2,000 tags and 4 MiB, the selection moves as keyed and is always drawn and in view', async () => {
    // 2,000 rows with the blob's start and end tags; the data block's
    // 4 MiB make more byte rows than the scroll range holds one to a row.
    const lines = [];
    for (let i = 1; i < 1000; ++i)
        lines.push(`int ${i} ${i}`, `str ${i} "string ${i}"`);
    lines.splice(1000, 1, 'data 1000 1 begin', ...Array.from({ length: 4096 }, () => `<${'c3'.repeat(1024)}>`), 'end');
    const blob = compile('keyed', lines);
    const size = fs.statSync(blob).size;
    await inspector.open(blob);
    assert.equal(await inspector.page.getAttribute('#tree', 'aria-rowcount'), '2000');

    // Each key's move from `at` with `page` rows in view, before clamping.
    const panes = [
        { pane: '#tree', last: 1999, first: 'End', keys: {
            ArrowUp: (at) => at - 1, ArrowDown: (at) => at + 1, PageUp: (at, page) => at - page + 1,
            PageDown: (at, page) => at + page - 1, Home: () => 0, End: () => 1999 } },
        { pane: '#hex', last: size - 1, first: 'Control+End', keys: {
            ArrowUp: (at) => at - 16, ArrowDown: (at) => at + 16, ArrowLeft: (at) => at - 1,
            ArrowRight: (at) => at + 1, PageUp: (at, page) => at - 16 * (page - 1),
            PageDown: (at, page) => at + 16 * (page - 1), Home: (at) => at - (at % 16),
            End: (at) => at - (at % 16) + 15, 'Control+Home': () => 0, 'Control+End': () => size - 1 } },
    ];
    const random = generator(27);
    for (const { pane, last, first, keys } of panes) {
        const page = await inspector.page.evaluate((p) => {
            const scroller = document.querySelector(p);
            return Math.floor(scroller.clientHeight / parseFloat(getComputedStyle(scroller).getPropertyValue('--row-height')));
        }, pane);
        const script = [first, ...Array(60).fill('ArrowUp'), ...Array(12).fill('PageUp'), first,
            ...Array(12).fill('PageUp'), ...Array.from({ length: 30 }, () => random.pick(Object.keys(keys)))];
        await inspector.page.focus(pane);
        let at = 0;
        for (const [n, key] of script.entries()) {
            await inspector.page.keyboard.press(key);
            await inspector.frame();
            at = Math.max(0, Math.min(last, keys[key](at, page)));
            const shown = await inspector.activeShown(pane);
            const where = `${pane}, key ${n} (${key})`;
            assert.equal(shown.id?.replace(/^\D+/, ''), String(at), `${where}: the selection`);
            assert.ok(shown.drawn && shown.inView, `${where}: ${at} drawn ${shown.drawn}, in view ${shown.inView}`);
        }
    }
    await inspector.page.screenshot({ path: path.join(screenshots, 'keyed.png') });
});

// WCAG's contrast of two colours given as rgb() or rgba() text.
function contrast(a, b) {
    const luminance = (text) => {
        const [r, g, bl] = text.match(/[\d.]+/g).slice(0, 3).map((v) => {
            const c = Number(v) / 255;
            return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
        });
        return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
    };
    const [light, dark] = [luminance(a), luminance(b)].sort((x, y) => y - x);
    return (light + 0.05) / (dark + 0.05);
}

test('every tint, mark and label keeps a contrast of 4.5:1', async () => {
    const name = names.find((n) => expected.get(n).json.error?.offset > 40 && expected.get(n).json.tags);
    await inspector.open(path.join(blobs, name));
    await inspector.page.click('#show-fault');
    await inspector.page.click('#tree .row[data-offset="0"]');
    await inspector.frame();
    const pairs = await inspector.page.evaluate(() => {
        const seen = new Map();
        const background = (element) => {
            for (let e = element; e; e = e.parentElement) {
                const colour = getComputedStyle(e).backgroundColor;
                if (!/rgba\(.*, 0\)$/.test(colour) && colour !== 'transparent')
                    return colour;
            }
            return 'rgb(255, 255, 255)';
        };
        const texts = document.querySelectorAll('#hex .b, #hex .c, #hex .off, #tree .row span, .legend .b, ' +
            '#summary dt, #summary dd, .verdict, #status, .keys, button');
        for (const element of texts) {
            const key = `${element.parentElement.className} > ${element.tagName}.${element.className}`;
            if (!seen.has(key) && element.textContent.trim() !== '')
                seen.set(key, [getComputedStyle(element).color, background(element)]);
        }
        return [...seen.entries()];
    });
    assert.ok(pairs.length > 20, `only ${pairs.length} kinds of text found`);
    for (const [what, [colour, behind]] of pairs)
        assert.ok(contrast(colour, behind) >= 4.5, `${what}: ${colour} on ${behind}`);
    await inspector.page.screenshot({ path: path.join(screenshots, 'fault.png') });
});

test('a 16 MiB blob opens with only the rows in view in the document', async (t) => {
    // Integers, strings and data blocks, about 17 MB in all.
    const lines = [];
    for (let i = 1; i <= 95000; ++i) {
        lines.push(`  int ${i} ${(BigInt(i) * 0x9e3779b97f4a7c15n) & 0xffffffffffffffffn}`);
        lines.push(`  str ${i} "string number ${i} of the large blob"`);
        if (i % 20 === 0)
            lines.push(`  data ${i} 7 begin`, `    <${'5a'.repeat(1000)}>`, `    <${'a5'.repeat(1000)}>`, '  end');
    }
    const blob = compile('large', lines);
    const size = fs.statSync(blob).size;
    assert.ok(size >= 16 << 20, `${size} bytes`);

    const began = Date.now();
    await inspector.open(blob);
    const wall = Date.now() - began;
    const inPage = await inspector.page.evaluate(() => performance.getEntriesByName('vantrel-open')[0].duration);
    t.diagnostic(`open ${size} bytes: ${wall} ms from picking the file to the page drawn, ` +
        `${inPage.toFixed(0)} ms of it in the page (read, walk, first draw)`);
    assert.equal((await inspector.verdict()).verdict, 'well formed');

    const page = inspector.page;
    await page.focus('#tree');
    await page.keyboard.press('End');
    await page.focus('#hex');
    await page.keyboard.press('Control+End');
    await inspector.frame();
    const drawn = await page.evaluate(() => ({
        rows: document.querySelectorAll('#tree .row').length,
        cells: document.querySelectorAll('#hex .b').length,
        last: document.querySelector('#tree .row[aria-selected="true"]')?.dataset.kind,
    }));
    assert.equal(drawn.last, 'end', 'End reaches the end tag');
    assert.ok(drawn.rows < 200 && drawn.cells < 200 * 16, `${drawn.rows} rows, ${drawn.cells} cells in the document`);
    assert.deepEqual((await inspector.marks()).cursor, [size - 1], 'the last byte is reachable');
});

test('the page asks the network for nothing', () => {
    assert.deepEqual(inspector.requests, []);
});

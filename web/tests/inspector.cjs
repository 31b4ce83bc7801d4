// Drives the inspector page in Debian's chromium through playwright-core:
// opens blob files with the file picker and reads back what a person sees.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { pathToFileURL } = require('node:url');

const { chromium } = require(require.resolve('playwright-core', {
    paths: [process.env.VANTREL_NODE_MODULES ?? __dirname],
}));

// What this machine's chromium needs to start headless in a container,
// quietly and without reaching out.
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'];

class Inspector {
    static async launch(pagePath, { width = 1400, height = 820 } = {}) {
        const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-inspect-'));
        const context = await chromium.launchPersistentContext(profile, {
            executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
            headless: true,
            args: CHROMIUM_FLAGS,
            viewport: { width, height },
            acceptDownloads: true,
        });
        const page = context.pages()[0] ?? await context.newPage();
        const inspector = new Inspector(context, page, profile);
        page.on('pageerror', (error) => inspector.errors.push(error.message));
        page.on('request', (request) => {
            if (!/^(file|data|blob):/.test(request.url()))
                inspector.requests.push(request.url());
        });
        await page.goto(pathToFileURL(pagePath).href);
        await page.waitForFunction(() => document.body.dataset.state !== 'starting');
        const state = await page.evaluate(() => document.body.dataset.state);
        if (state !== 'ready')
            throw new Error(`the page did not start: ${state} ${inspector.errors.join('; ')}`);
        return inspector;
    }

    constructor(context, page, profile) {
        this.context = context;
        this.page = page;
        this.profile = profile;
        this.errors = [];
        this.requests = [];
    }

    async close() {
        await this.context.close();
        fs.rmSync(this.profile, { recursive: true, force: true });
    }

    // Opens a file (or a blob and a schema together) through the file
    // picker and waits until the summary shows the blob's name as `shown`.
    async open(file, shown = path.basename([file].flat()[0])) {
        await this.page.evaluate(() => { document.body.dataset.state = 'picking'; });
        await this.page.setInputFiles('#file', file);
        await this.page.waitForFunction((n) => document.body.dataset.state === 'loaded' &&
            document.querySelector('#summary dd')?.textContent === n, shown);
        // The same file may be picked again later.
        await this.page.evaluate(() => { document.querySelector('#file').value = ''; });
    }

    // Drops the schema open, if any.
    async dropSchema() {
        if (await this.page.$('#drop-schema')) {
            await this.page.evaluate(() => { document.body.dataset.state = 'picking'; });
            await this.page.click('#drop-schema');
            await this.page.waitForFunction(() => document.body.dataset.state === 'loaded');
        }
    }

    // Types into the box and goes there.
    async goTo(text) {
        await this.page.fill('#goto-text', text);
        await this.page.press('#goto-text', 'Enter');
        await this.frame();
    }

    // The summary's rows: each name's text.
    summary() {
        return this.page.evaluate(() => Object.fromEntries([...document.querySelectorAll('#summary div')]
            .map((row) => [row.querySelector('dt').textContent, row.querySelector('dd').textContent])));
    }

    // The verdict as the summary shows it.
    verdict() {
        return this.page.evaluate(() => ({
            verdict: document.querySelector('#verdict')?.textContent,
            offset: document.querySelector('#fault-offset')?.textContent,
            reason: document.querySelector('#fault-reason')?.textContent,
        }));
    }

    // Every row of the tree, scrolling it through: only the rows in view
    // are in the document.
    treeRows() {
        return this.page.evaluate(async () => {
            const tree = document.querySelector('#tree');
            const count = Number(tree.getAttribute('aria-rowcount'));
            const rows = new Map();
            // The list draws on the frame after a scroll.
            const frame = () => new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
            tree.scrollTop = 0;
            for (let guard = 0; rows.size < count && guard < 1000; ++guard) {
                // A step that found nothing new waits a few more frames.
                const before = rows.size;
                for (let wait = 0; wait < 5 && rows.size === before; ++wait) {
                    await frame();
                    for (const row of tree.querySelectorAll('.row'))
                        rows.set(Number(row.dataset.index), {
                            kind: row.dataset.kind,
                            offset: Number(row.dataset.offset),
                            level: Number(row.getAttribute('aria-level')),
                            fields: row.querySelector('.fields').textContent,
                        });
                }
                tree.scrollTop += Math.max(20, tree.clientHeight - 40);
            }
            tree.scrollTop = 0;
            return { count, rows: [...rows.entries()].sort((a, b) => a[0] - b[0]).map(([, row]) => row) };
        });
    }

    // The text Save JSON writes.
    async savedJson() {
        const [download] = await Promise.all([this.page.waitForEvent('download'), this.page.click('#save-json')]);
        return fs.readFileSync(await download.path(), 'utf8');
    }

    // Positions of the hex cells marked as selected, and of the fault.
    marks() {
        return this.page.evaluate(() => ({
            selected: [...document.querySelectorAll('#hex .cells .b.sel')].map((b) => Number(b.dataset.pos)),
            selectedText: [...document.querySelectorAll('#hex .ascii .c.sel')].map((c) => Number(c.dataset.pos)),
            fault: [...document.querySelectorAll('#hex .b.fault')].map((b) => Number(b.dataset.pos)),
            cursor: [...document.querySelectorAll('#hex .b.cur')].map((b) => Number(b.dataset.pos)),
        }));
    }

    // The tree row marked as selected: its offset, or null.
    async selectedRowOffset() {
        const offset = await this.page.evaluate(() =>
            document.querySelector('#tree .row[aria-selected="true"]')?.dataset.offset ?? null);
        return offset === null ? null : Number(offset);
    }

    // The element a pane names as its active descendant (the selected tag,
    // the byte at the cursor): whether it is in the document, and whether
    // it lies wholly inside the pane's visible box; its id.
    activeShown(pane) {
        return this.page.evaluate((selector) => {
            const scroller = document.querySelector(selector);
            const element = document.getElementById(scroller.getAttribute('aria-activedescendant') ?? '');
            if (!element)
                return { id: null, drawn: false, inView: false };
            const box = scroller.getBoundingClientRect();
            const top = box.top + scroller.clientTop;
            const rect = element.getBoundingClientRect();
            return { id: element.id, drawn: true, inView: rect.top >= top && rect.bottom <= top + scroller.clientHeight };
        }, pane);
    }

    // Waits for the views to draw what the last action changed.
    frame() {
        return this.page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    }
}

module.exports = { Inspector };

// How long the inspector page takes to open large blobs, in headless
// chromium: three blobs of 16 MiB compiled by vantrel-comp (integers only,
// the most tags; one data block; a mix), each opened five times.  Prints the
// median time from picking the file to the page drawn, and the part of it
// spent in the page (reading the file, the walk, the first draw).  Measured,
// not asserted.
// Usage: VANTREL_NODE_MODULES=... node bench/web_open_time.cjs BUILD_DIR WORK_DIR
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { Inspector } = require('../web/tests/inspector.cjs');

const [build, work] = process.argv.slice(2).map((p) => path.resolve(p));
const MiB16 = 16 << 20;

// Source lines for blobs of at most 16 MiB at alignment 8, where the start
// and end tags take 24 bytes, an integer tag 24, a data block 20 and its
// data rounded up to 8, a string of 22 characters 40.
const shapes = {
    integers: () => Array.from({ length: Math.floor((MiB16 - 24) / 24) }, (_, i) => `int ${i} ${i * 7}`),
    'one data block': () => {
        const size = MiB16 - 24 - 20;
        const lines = [`data 1 0 begin`];
        for (let left = size; left > 0; left -= 2000)
            lines.push(`<${'3c'.repeat(Math.min(2000, left))}>`);
        return [...lines, 'end'];
    },
    mixed: () => {
        const lines = [];
        let used = 24;
        for (let i = 0; used + 2048 < MiB16; ++i) {
            lines.push(`int ${i} ${i}`, `str ${i} "text of string ${String(i).padStart(7, '0')}"`);
            used += 24 + 40;
            if (i % 16 === 0) {
                lines.push(`data ${i} 1 <${'a5'.repeat(1000)}>`);
                used += 1024;
            }
        }
        return lines;
    },
};

(async () => {
    fs.mkdirSync(work, { recursive: true });
    const inspector = await Inspector.launch(path.join(build, 'web', 'vantrel-inspect.html'));
    for (const [name, lines] of Object.entries(shapes)) {
        const blob = path.join(work, `${name.replace(/ /g, '-')}.dat`);
        fs.writeFileSync(`${blob}.txt`, ['{', ...lines(), '}', ''].join('\n'));
        execFileSync(path.join(build, 'comp', 'vantrel-comp'), ['-s', String(MiB16), '-o', blob, `${blob}.txt`]);
        const wall = [];
        const inPage = [];
        for (let run = 0; run < 5; ++run) {
            const began = Date.now();
            await inspector.open(blob);
            wall.push(Date.now() - began);
            inPage.push(await inspector.page.evaluate(() => performance.getEntriesByName('vantrel-open')[0].duration));
        }
        const median = (list) => [...list].sort((a, b) => a - b)[2].toFixed(0);
        const tags = await inspector.page.evaluate(() => document.querySelector('#tree').getAttribute('aria-rowcount'));
        console.log(`${name}: ${fs.statSync(blob).size} bytes, ${tags} tags: ${median(wall)} ms to the page drawn ` +
            `(${median(inPage)} ms in the page), median of 5`);
    }
    await inspector.close();
})().catch((error) => {
    console.error(error);
    process.exit(1);
});

// How long the inspector page takes to Save JSON of blobs that are one data
// block (by default 100 MiB and 280 MiB), in headless chromium: the time
// from the click to the whole file saved, its size, and whether it is the
// line vantrel-dump --json writes, byte for byte (compared by SHA-256).
// A page that dies or takes more than ten minutes is reported as such.
// Measured, not asserted.
// Usage: VANTREL_NODE_MODULES=... node bench/web_save_json.cjs BUILD_DIR WORK_DIR [MiB...]
const fs = require('node:fs');
const path = require('node:path');
const crypto = require('node:crypto');
const { execFileSync, spawn } = require('node:child_process');
const { Inspector } = require('../web/tests/inspector.cjs');

const [build, work] = process.argv.slice(2, 4).map((p) => path.resolve(p));
const sizes = process.argv.length > 4 ? process.argv.slice(4).map(Number) : [100, 280];

// A blob of one data block of `mib` MiB, compiled by vantrel-comp.
function dataBlob(mib) {
    const blob = path.join(work, `data-${mib}MiB.dat`);
    const text = `${blob}.txt`;
    const fd = fs.openSync(text, 'w');
    fs.writeSync(fd, '{\ndata 1 0 begin\n');
    const line = `<${'3c'.repeat(2000)}>\n`.repeat(64);
    let left = mib << 20;
    for (; left >= 64 * 2000; left -= 64 * 2000)
        fs.writeSync(fd, line);
    for (; left > 0; left -= 2000)
        fs.writeSync(fd, `<${'3c'.repeat(Math.min(left, 2000))}>\n`);
    fs.writeSync(fd, 'end\n}\n');
    fs.closeSync(fd);
    execFileSync(path.join(build, 'comp', 'vantrel-comp'), ['-s', String(4294967295), '-o', blob, text]);
    fs.rmSync(text);
    return blob;
}

// The SHA-256 and size of what a stream gives.
function digest(stream) {
    return new Promise((done, fail) => {
        const hash = crypto.createHash('sha256');
        let size = 0;
        stream.on('data', (chunk) => {
            hash.update(chunk);
            size += chunk.length;
        });
        stream.on('end', () => done({ sha: hash.digest('hex'), size }));
        stream.on('error', fail);
    });
}

(async () => {
    fs.mkdirSync(work, { recursive: true });
    for (const mib of sizes) {
        const blob = dataBlob(mib);
        const dump = spawn(path.join(build, 'dump', 'vantrel-dump'), ['--json', path.basename(blob)],
            { cwd: work, stdio: ['ignore', 'pipe', 'inherit'] });
        const want = await digest(dump.stdout);
        const inspector = await Inspector.launch(path.join(build, 'web', 'vantrel-inspect.html'));
        await inspector.open(blob);
        const crashed = new Promise((done) => inspector.page.on('crash', () => done('the page crashed')));
        const refused = inspector.page.waitForFunction(() =>
            document.querySelector('#status').textContent.startsWith('The browser could not'), null,
        { timeout: 600_000 }).then(() => 'refused', () => 'timed out');
        const began = Date.now();
        const saved = inspector.page.waitForEvent('download', { timeout: 600_000 })
            .then((download) => download.path()).catch((error) => error.message.split('\n')[0]);
        await inspector.page.click('#save-json');
        const file = await Promise.race([saved, crashed, refused]);
        const took = ((Date.now() - began) / 1000).toFixed(1);
        const status = await inspector.page.textContent('#status').catch(() => '(no page)');
        if (file && fs.existsSync(file)) {
            const got = await digest(fs.createReadStream(file));
            console.log(`${mib} MiB data block: saved ${got.size} bytes in ${took} s, ` +
                `${got.sha === want.sha && got.size === want.size ? 'the same as' : 'NOT the same as'} ` +
                `vantrel-dump --json (${want.size} bytes); status: ${status}`);
        } else {
            console.log(`${mib} MiB data block: nothing saved after ${took} s (${file}); status: ${status}`);
        }
        await inspector.close().catch(() => {});
        if (!process.env.KEEP) fs.rmSync(blob);
    }
})().catch((error) => {
    console.error(error);
    process.exit(1);
});

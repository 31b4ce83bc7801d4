// The blobs the browser tests open, all in one folder under names of their
// own: the example sources compiled by vantrel-comp (one also at alignment
// 32), blobs nested deep and one whose length wraps, the fuzz seeds
// (fuzz/make_seeds.cpp), and seeded mutations of all of
// them: cut short, a word overwritten, a bit flipped, bytes appended.
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

// A small seeded generator (mulberry32): the same corpus on every run.
function generator(seed) {
    let state = seed >>> 0;
    const next = () => {
        state = (state + 0x6d2b79f5) >>> 0;
        let t = state;
        t = Math.imul(t ^ (t >>> 15), t | 1);
        t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
        return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
    return { below: (n) => Math.floor(next() * n), pick: (list) => list[Math.floor(next() * list.length)] };
}

// Words that steer a walk into its faults: end and start codes, an unknown
// code, sizes too small, too large and misaligned.
const STEERING_WORDS = [0, 4, 8, 16, 24, 0xffffffff, 0x7a600001, 0x0100607a, 0x7a600005, 0x12345678];

function mutate(blob, random) {
    const out = Buffer.from(blob);
    const words = Math.floor(out.length / 4);
    switch (random.below(5)) {
    case 0:
        return { how: 'cut', bytes: out.subarray(0, random.below(out.length)) };
    case 1: {
        const at = 4 * random.below(words);
        const old = out.readUInt32LE(at);
        const value = random.pick([...STEERING_WORDS, old + 8, old - 8 >>> 0, random.below(2 ** 32)]);
        out.writeUInt32LE(value >>> 0, at);
        return { how: 'word', bytes: out };
    }
    case 4: {
        // One of the start tag's four words: the order, the first tag's
        // place, the length every block is held to.
        const at = 4 * random.below(4);
        const value = random.pick([...STEERING_WORDS, out.readUInt32LE(at) + 8, out.readUInt32LE(at) - 8 >>> 0]);
        out.writeUInt32LE(value >>> 0, at);
        return { how: 'start', bytes: out };
    }
    case 2: {
        const bit = random.below(out.length * 8);
        out[bit >> 3] ^= 1 << (bit & 7);
        return { how: 'bit', bytes: out };
    }
    default: {
        const extra = Buffer.alloc(1 + random.below(40), random.below(256));
        return { how: 'tail', bytes: Buffer.concat([out, extra]) };
    }
    }
}

// Start tags nested `levels` deep, little-endian at alignment 8: built here,
// as neither the compiler nor the seeds nest so deep.  Each block is its
// start tag, the next block and its end tag.
function nestedBlob(levels) {
    const blocks = levels + 1;
    const out = Buffer.alloc(24 * blocks);
    for (let k = 0; k < blocks; ++k) {
        out.writeUInt32LE(0x7a600001, 16 * k);
        out.writeUInt32LE(16, 16 * k + 4);
        out.writeUInt32LE(24 * (blocks - k), 16 * k + 8);
        out.writeUInt32LE(8, 16 * blocks + 8 * k + 4);
    }
    return out;
}

// A start tag of length 8 and a string tag of 0xFFFFFFF0 bytes: the length
// wraps, and the walk's next tag would stand 4 GiB in, past what 32 bits
// hold.
function wrappedLengthBlob() {
    const out = Buffer.alloc(40);
    [0x7a600001, 16, 8, 0, 0x7a600002, 0xfffffff0, 1, 0].forEach((word, i) => out.writeUInt32LE(word, 4 * i));
    return out;
}

// Writes the corpus to `dir`; returns the file names, in order.
function makeCorpus({ source, build, dir, mutationsPerBlob = 3 }) {
    fs.rmSync(dir, { recursive: true, force: true });
    fs.mkdirSync(dir, { recursive: true });
    const comp = path.join(build, 'comp', 'vantrel-comp');
    const bases = [];
    // The example sources: each has the listing it must give beside it.
    const exampleDir = path.join(source, 'examples');
    const examples = fs.readdirSync(exampleDir)
        .filter((f) => f.endsWith('.txt') && fs.existsSync(path.join(exampleDir, f.replace(/\.txt$/, '.listing'))))
        .sort();
    for (const example of examples) {
        const name = example.replace(/\.txt$/, '.dat');
        execFileSync(comp, ['-o', path.join(dir, name), path.join(source, 'examples', example)]);
        bases.push(name);
    }
    execFileSync(comp, ['-a', '32', '-o', path.join(dir, 'device-settings-a32.dat'),
        path.join(source, 'examples', 'device-settings.txt')]);
    bases.push('device-settings-a32.dat');
    // The deepest nesting the walk takes, and one level more.
    for (const levels of [1024, 1025]) {
        fs.writeFileSync(path.join(dir, `nested-${levels}.dat`), nestedBlob(levels));
        bases.push(`nested-${levels}.dat`);
    }
    const seeds = path.join(dir, '.seeds');
    execFileSync(path.join(build, 'tests', 'vantrel_make_seeds'), [seeds]);
    for (const seed of fs.readdirSync(path.join(seeds, 'dump_fuzz')).sort()) {
        const name = `seed-${seed.replace(/\.blob$/, '.dat')}`;
        fs.copyFileSync(path.join(seeds, 'dump_fuzz', seed), path.join(dir, name));
        bases.push(name);
    }
    fs.rmSync(seeds, { recursive: true });
    // Last, so that the mutations of the blobs before it stay as they were.
    fs.writeFileSync(path.join(dir, 'wrapped-length.dat'), wrappedLengthBlob());
    bases.push('wrapped-length.dat');
    const random = generator(24);
    const names = [...bases];
    const add = (base, how, bytes) => {
        const name = `${base.replace(/\.dat$/, '')}-${how}.dat`;
        fs.writeFileSync(path.join(dir, name), bytes);
        names.push(name);
    };
    const listed = dumpJson(build, dir, bases);
    for (const base of bases) {
        const blob = fs.readFileSync(path.join(dir, base));
        for (let k = 0; k < mutationsPerBlob; ++k) {
            const { how, bytes } = mutate(blob, random);
            add(base, `${how}${k}`, bytes);
        }
        // Cut inside a long payload, past its first 64 bytes: the dump lists
        // such a data block with what it read, and no such string.
        for (const tag of flatTags(listed.get(base).json.tags))
            if (tag.size > 100 && (tag.tag === 'data_block' || tag.tag === 'string'))
                add(base, `payload${tag.offset}`, blob.subarray(0, tag.offset + 20 + 64 + random.below(tag.size - 84)));
    }
    return names;
}

// vantrel-dump --json over the corpus in one run (with `options` before
// the files, such as --schema FILE): one parsed line and the line itself
// per file, by name.
function dumpJson(build, dir, names, options = []) {
    let stdout;
    try {
        stdout = execFileSync(path.join(build, 'dump', 'vantrel-dump'), ['--json', ...options, '--', ...names],
            { cwd: dir, stdio: ['ignore', 'pipe', 'ignore'], maxBuffer: 1 << 28 });
    } catch (error) {
        // Status 1 for a corpus that holds faulty blobs, as it should.
        if (error.status !== 1)
            throw error;
        stdout = error.stdout;
    }
    const lines = stdout.toString('utf8').split('\n').filter((line) => line !== '');
    if (lines.length !== names.length)
        throw new Error(`vantrel-dump wrote ${lines.length} lines for ${names.length} files`);
    return new Map(names.map((name, i) => [name, { line: lines[i], json: JSON.parse(lines[i]) }]));
}

// The tags of a --json object in walk order, nested blocks' tags after
// their start tag.
function flatTags(tags = []) {
    return tags.flatMap((tag) => (tag.tag === 'start' ? [tag, ...flatTags(tag.tags)] : [tag]));
}

// How deep each tag flatTags lists is nested: 0 in the blob's own block.
function nesting(tags = [], depth = 0) {
    return tags.flatMap((tag) => (tag.tag === 'start' ? [depth, ...nesting(tag.tags, depth + 1)] : [depth]));
}

module.exports = { makeCorpus, dumpJson, flatTags, nesting, generator };

// The tags as `vantrel-dump --json` writes them for the same file: the same
// members in the same order on one line, the same escapes in strings.  The
// tags, their fields and the fault come from the module; this only writes
// them down.

// The dump escapes quotes, backslashes, the C0 controls, DEL and the C1
// controls; everything else stands for itself.
const JSON_ESCAPES = { '"': '\\"', '\\': '\\\\', '\n': '\\n', '\r': '\\r', '\t': '\\t' };
const quoteJson = (text) =>
    '"' + text.replace(/["\\\u0000-\u001f\u007f-\u009f]|[\ud800-\udfff]/g, (c, at) => {
        if (JSON_ESCAPES[c])
            return JSON_ESCAPES[c];
        // A surrogate is kept when it is half of a pair.
        const code = c.charCodeAt(0);
        if (code >= 0xd800 && code <= 0xdbff && /[\udc00-\udfff]/.test(text[at + 1] ?? ''))
            return c;
        if (code >= 0xdc00 && code <= 0xdfff && /[\ud800-\udbff]/.test(text[at - 1] ?? ''))
            return c;
        return '\\u' + code.toString(16).padStart(4, '0');
    }) + '"';

// `{"key": value, ...}` from [key, already written value] pairs.
const jsonObject = (members) => '{' + members.map(([k, v]) => `"${k}": ${v}`).join(', ') + '}';

function tagMembers(reader, tag) {
    const head = [['tag', quoteJson(tag.kind)], ['offset', tag.offset]];
    switch (tag.kind) {
    case 'string': {
        const bytes = reader.payload(tag);
        const text = utf8OrNull(bytes);
        return [...head, ['id', tag.id], ['size', tag.size],
            text !== null ? ['text', quoteJson(text)] : ['hex', `"${bytesHex(bytes)}"`]];
    }
    case 'integer':
        return [...head, ['id', tag.id], ['value', `"${tag.value}"`],
            ['hex', `"0x${tag.value.toString(16).toUpperCase()}"`]];
    case 'data_block':
        return [...head, ['id', tag.id], ['type', tag.type], ['size', tag.size],
            ['hex', `"${bytesHex(reader.payload(tag))}"`]];
    default:
        return head;
    }
}

// One line, without its line end.
function dumpJson(reader, fileName) {
    const verdict = reader.verdict();
    const error = () => ['error', jsonObject([['offset', verdict.offset], ['reason', quoteJson(verdict.reason)]])];
    if (!verdict.startRead)
        return jsonObject([['file', quoteJson(fileName)], error()]);
    // Each open list: its items so far.  The blob's own start and end tags
    // are the object itself; a nested block is a "start" item whose "tags"
    // list closes at its end tag, or at the fault.
    const lists = [[]];
    const starts = [];
    for (let i = 1; i < reader.count; ++i) {
        const tag = reader.tag(i);
        if (tag.kind === 'start') {
            starts.push(tag);
            lists.push([]);
        } else if (tag.kind === 'end') {
            if (lists.length > 1)
                closeBlock(lists, starts);
        } else {
            lists[lists.length - 1].push(jsonObject(tagMembers(reader, tag)));
        }
    }
    while (lists.length > 1)
        closeBlock(lists, starts);
    const members = [['file', quoteJson(fileName)], ['byte_order', quoteJson(verdict.byteOrder)],
        ['length', verdict.length], ['tags', '[' + lists[0].join(', ') + ']']];
    if (verdict.faultCode !== 0)
        members.push(error());
    return jsonObject(members);
}

function closeBlock(lists, starts) {
    const items = lists.pop();
    const start = starts.pop();
    lists[lists.length - 1].push(jsonObject([...tagMembers(null, start), ['length', start.length],
        ['tags', '[' + items.join(', ') + ']']]));
}

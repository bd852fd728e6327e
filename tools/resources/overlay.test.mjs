import assert from 'node:assert/strict';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { loadPhoneSet } from './phones.mjs';
import { applyOverlay, OverlayFormatError, parseOverlay, readOverlay } from './overlay.mjs';

const dict = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'resources', 'dict');
const phones = loadPhoneSet(join(dict, 'phones.tsv'));

test('a correction replaces the source entry or adds one, the last line winning', () => {
  const entries = new Map([['结果', ['j', 'ie1', 'g', 'uo3']], ['中国', ['zh', 'ong1', 'g', 'uo2']]]);
  const corrections = parseOverlay('# comment\n结果\tjie2 guo3\r\n\n图为\ttu2 wei2\n图为\ttu2 wei4\n', phones);
  assert.deepEqual(applyOverlay(entries, corrections), { replaced: 2, added: 1 });
  assert.deepEqual(entries.get('结果'), ['j', 'ie2', 'g', 'uo3']);
  assert.deepEqual(entries.get('图为'), ['t', 'u2', 'ui4']);
  assert.deepEqual(entries.get('中国'), ['zh', 'ong1', 'g', 'uo2']);
});

test('a line that cannot be read names the file and line', () => {
  for (const line of ['结果 jie2 guo3', '结果\tjie2', '结果\tjie2 gxo3', '结果\tjie2\tguo3']) {
    assert.throws(() => parseOverlay(`# ok\n${line}\n`, phones, 'o.tsv'),
      (err) => err instanceof OverlayFormatError && err.message.startsWith('o.tsv:2:'), line);
  }
});

test('the committed overlay is readable', () => {
  assert.ok(readOverlay(join(dict, 'pronunciation_overlay.tsv'), phones).length > 0);
});

// Games in Debian's Chromium (headless WebGL 2 in software), each exported by `ovetool web`:
//   demo/   the showcase plays its recorded replay; the screenshots it takes are written to SHOTS
//           (scripts/test-web.sh compares them with the desktop engine's);
//   save/   a game that saves on its first run finds its save after the page is reloaded;
//   error/  a script error shows the page's dialog, and its file:line reaches the console;
//   input/  a click, a key, the wheel and a finger's tap reach the game, at the game's coordinates
//           whatever the page's scaling.
// Usage: node browser-test.cjs SITES REPLAY.rec SHOTS OVE_NPM CHROMIUM
const fs = require('node:fs');
const path = require('node:path');
const { serve, browserArgs } = require('./serve.cjs');

const [sites, replay, shots, npm, chromiumPath] = process.argv.slice(2);
const { chromium } = require(path.join(npm, 'node_modules', 'playwright-core'));

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures++;
}

// Opens a page with extra engine arguments and files; resolves the console lines as they come.
async function open(context, url, config) {
  const page = await context.newPage();
  const lines = [];
  page.on('console', m => lines.push(m.text()));
  page.on('pageerror', e => lines.push(`pageerror: ${e.message}`));
  await page.addInitScript(c => { window.OVE_CONFIG = c; }, { autostart: true, ...config });
  await page.goto(url);
  return { page, lines };
}

async function waitUntil(condition, ms) {
  const end = Date.now() + ms;
  while (Date.now() < end) {
    if (condition()) return true;
    await new Promise(r => setTimeout(r, 100));
  }
  return false;
}
const waitForLine = (lines, pattern, ms) => waitUntil(() => lines.some(l => pattern.test(l)), ms);

async function main() {
  const server = await serve(sites);
  const browser = await chromium.launch({ executablePath: chromiumPath, args: browserArgs });
  try {
    const context = await browser.newContext({ viewport: { width: 800, height: 600 } });

    // The replay's screenshot names are relative: the engine writes them in its folder, "/".
    const rec = fs.readFileSync(replay);
    const names = rec.toString().split('\n').filter(l => l.startsWith('shot ')).map(l => l.split(/\s+/)[2]);
    const demo = await open(context, `${server.url}/demo/index.html`, {
      args: ['--replay', '/replay/playthrough.rec', '--frames', '1400'],
      files: { '/replay/playthrough.rec': rec.toString('base64') },
    });
    await demo.page.waitForFunction(() => window.oveExitStatus !== undefined, null, { timeout: 240000 });
    check(await demo.page.evaluate(() => window.oveExitStatus) === 0, 'the showcase replay ends with status 0');
    fs.mkdirSync(shots, { recursive: true });
    for (const name of names) {
      const b64 = await demo.page.evaluate(n => {
        try {
          const bytes = Module.FS.readFile('/' + n);
          let s = '';
          for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
          return btoa(s);
        } catch (e) { return null; }
      }, name);
      check(b64 !== null, `the replay wrote ${name}`);
      if (b64) fs.writeFileSync(path.join(shots, name), Buffer.from(b64, 'base64'));
    }
    await demo.page.close();

    // A save, then the same page again: the file must come back from the browser's storage.
    const first = await open(context, `${server.url}/save/index.html`);
    check(await waitForLine(first.lines, /^debug: saved \d+/, 30000), 'the first run saves');
    const saved = (first.lines.find(l => /^debug: saved \d+/.test(l)) || '').split(' ')[2];
    await first.page.waitForFunction(() => Module.ovePersistState && !Module.ovePersistState.busy, null, { timeout: 10000 });
    await first.page.reload();
    check(await waitForLine(first.lines, /^debug: loaded \d+/, 30000), 'the reloaded page finds the save');
    check(first.lines.some(l => l === `debug: loaded ${saved}`), `the save holds what was written (${saved})`);
    await first.page.close();

    // A script error: the dialog with the message, the place on the console.
    const broken = await open(context, `${server.url}/error/index.html`);
    const dialog = await broken.page.waitForSelector('dialog[open]', { timeout: 30000 }).catch(() => null);
    const text = dialog ? await dialog.innerText() : '';
    check(/nosuchthing/.test(text), 'the error shows in the page\'s dialog');
    check(broken.lines.some(l => l.includes('main.ovs:3')), 'the console says main.ovs:3');
    if (failures) console.log(broken.lines.join('\n'));
    await broken.page.close();

    // Input, on a page that scales the game and has a touch screen.
    const touch = await browser.newContext({ hasTouch: true, viewport: { width: 900, height: 500 } });
    const input = await open(touch, `${server.url}/input/index.html`);
    check(await waitForLine(input.lines, /^debug: ready/, 30000), 'the input game starts');
    check(!input.lines.some(l => /sound is off/.test(l)) &&
          await input.page.evaluate(() => !!(Module.SDL2 && Module.SDL2.audioContext && Module.SDL2.audioContext.state === 'running')),
          'the sound device is open on Web Audio');
    const box = await input.page.locator('#canvas').boundingBox();
    const [w, h] = await input.page.evaluate(() => [Module.canvas.width, Module.canvas.height]);
    // Where a point a fraction of the way across the shown canvas lands in the game (within a pixel).
    const near = (line, kind, fx, fy) => {
      const m = line.match(new RegExp(`^debug: ${kind} at (-?\\d+),(-?\\d+)$`));
      return m && Math.abs(m[1] - fx * w) <= 1 && Math.abs(m[2] - fy * h) <= 1;
    };
    await input.page.mouse.click(box.x + box.width * 0.25, box.y + box.height * 0.5);
    check(await waitForLine(input.lines, /^debug: button 1 at/, 5000) &&
          input.lines.some(l => near(l, 'button 1', 0.25, 0.5)), `a click lands where it was made (game ${w}x${h}, shown ${box.width}x${box.height})`);
    await input.page.keyboard.press('a');
    check(await waitForLine(input.lines, /^debug: key 97$/, 5000), 'a key reaches ReadKey');
    await input.page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await input.page.mouse.wheel(0, -100);
    check(await waitForLine(input.lines, /^debug: wheel 1$/, 5000), 'the wheel turned away from the player gives 1');
    const buttons = () => input.lines.filter(l => /^debug: button/.test(l));
    const clicks = buttons().length;
    await input.page.touchscreen.tap(box.x + box.width * 0.75, box.y + box.height * 0.25);
    await waitUntil(() => buttons().length > clicks, 5000);
    check(buttons().slice(clicks).some(l => near(l, 'button 1', 0.75, 0.25)), 'a tap is a left click where the finger was');
    await touch.close();
  } finally {
    await browser.close();
    await server.close();
  }
  console.log(failures ? `browser-test: ${failures} failed` : 'browser-test: all passed');
  process.exit(failures ? 1 : 0);
}

main().catch(e => { console.error(e); process.exit(1); });

// The studio in a real browser: make a room from a picture (a floor with a wall, a depth level
// and a hotspot "door"), preview a path round the wall, save; then the engine, run headless on
// the saved room, must answer as the studio did: walkability, hotspots, the walk WalkTo takes
// and the priority at which the hero is hidden.
//
// node browser-test.cjs BUILD_DIR PLAYWRIGHT_DIR CHROMIUM [SCREENSHOT.png]
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {spawn, spawnSync} = require('child_process');

const [buildDir, playwrightDir, chromiumPath, screenshot] = process.argv.slice(2);
const {chromium} = require(path.join(playwrightDir, 'node_modules', 'playwright-core'));

// The tutorial's room (floor, wall, door, window) with a folding screen and a table added.
const W = 320, H = 200;
const FLOOR = [0, 140, 319, 199], DOOR = [240, 50, 279, 129], WINDOW = [40, 30, 100, 80];
const SCREEN_X = 160, SCREEN_TOP = 143, SCREEN_BOTTOM = 182;   // the eraser's stroke (brush 7)
const TABLE = [190, 115, 230, 165], TABLE_LEVEL = 12;
const FROM = [40, 170], TO = [280, 170];

function fail(message) {
  console.error('FAIL: ' + message);
  process.exitCode = 1;
}
function check(ok, message) { if (!ok) fail(message); return ok; }

function writeRoomPicture(file) {
  const stride = (W * 3 + 3) & ~3, data = Buffer.alloc(stride * H);
  const inRect = (x, y, r) => x >= r[0] && x <= r[2] && y >= r[1] && y <= r[3];
  const hex = h => [parseInt(h.slice(1, 3), 16), parseInt(h.slice(3, 5), 16), parseInt(h.slice(5, 7), 16)];
  for (let y = 0; y < H; y++)
    for (let x = 0; x < W; x++) {
      let c = y <= 129 ? '#a88c6c' : '#6b4f3a';
      if (inRect(x, y, DOOR)) c = '#3a2a1c';
      if ((x - 272) ** 2 + (y - 92) ** 2 <= 4) c = '#e0c060';
      if (inRect(x, y, WINDOW)) c = '#80b0e0';
      if (inRect(x, y, [157, 100, 163, 185])) c = '#d8d0c0';
      if (inRect(x, y, [190, 115, 230, 125])) c = '#8a5a30';
      if (inRect(x, y, [192, 126, 196, 165]) || inRect(x, y, [224, 126, 228, 165])) c = '#5a3a20';
      const rgb = hex(c), o = (H - 1 - y) * stride + x * 3;
      data[o] = rgb[2]; data[o + 1] = rgb[1]; data[o + 2] = rgb[0];
    }
  const head = Buffer.alloc(54);
  head.write('BM', 0); head.writeUInt32LE(54 + data.length, 2); head.writeUInt32LE(54, 10);
  head.writeUInt32LE(40, 14); head.writeInt32LE(W, 18); head.writeInt32LE(H, 22);
  head.writeUInt16LE(1, 26); head.writeUInt16LE(24, 28); head.writeUInt32LE(data.length, 34);
  fs.writeFileSync(file, Buffer.concat([head, data]));
}

// A small hero with a transparent background, as a PNG (node has deflate; the CRC is ours).
function writeHeroPng(file) {
  const zlib = require('zlib');
  const w = 16, h = 44;
  const raw = Buffer.alloc((w * 4 + 1) * h);
  for (let y = 0; y < h; y++)
    for (let x = 0; x < w; x++) {
      let c = null;
      if ((x - 7.5) ** 2 + (y - 6) ** 2 <= 25) c = [240, 200, 160];
      else if (y >= 12 && y < 28 && x >= 2 && x <= 13) c = [40, 90, 200];
      else if (y >= 28 && ((x >= 3 && x <= 6) || (x >= 9 && x <= 12))) c = [50, 40, 40];
      if (c) raw.set([...c, 255], y * (w * 4 + 1) + 1 + x * 4);
    }
  const crc = data => {
    let r = ~0;
    for (const b of data) { r ^= b; for (let k = 0; k < 8; k++) r = (r >>> 1) ^ (0xEDB88320 & -(r & 1)); }
    return ~r >>> 0;
  };
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type), data]), out = Buffer.alloc(body.length + 8);
    out.writeUInt32BE(data.length, 0); body.copy(out, 4); out.writeUInt32BE(crc(body), body.length + 4);
    return out;
  };
  const head = Buffer.alloc(13);
  head.writeUInt32BE(w, 0); head.writeUInt32BE(h, 4); head[8] = 8; head[9] = 6;
  fs.writeFileSync(file, Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', head),
                                        chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]));
}

function startStudio(room) {
  const child = spawn(path.join(buildDir, 'ovetool'), ['studio', room, '--port', '0'], {stdio: ['ignore', 'pipe', 'inherit']});
  return new Promise((resolve, reject) => {
    let text = '';
    const timer = setTimeout(() => reject(new Error('the studio printed no address')), 10000);
    child.stdout.on('data', d => {
      text += d;
      const m = text.match(/(http:\/\/127\.0\.0\.1:\d+\/)\?t=([0-9a-f]+)/);
      if (m) { clearTimeout(timer); resolve({child, base: m[1], url: m[0], token: m[2]}); }
    });
    child.on('exit', code => reject(new Error('the studio ended with ' + code)));
  });
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'ove-studio-'));
  const room = path.join(work, 'room.bmp');
  writeRoomPicture(room);
  writeHeroPng(path.join(work, 'hero.png'));
  const view = spawnSync(path.join(buildDir, 'ovetool'), ['view', path.join(work, 'hero.OVV'), '--loop',
                                                          path.join(work, 'hero.png')], {encoding: 'utf8'});
  if (view.status !== 0) throw new Error('ovetool view failed: ' + view.stderr);
  const studio = await startStudio(room);
  const ask = async (p, init) => {
    const r = await fetch(studio.base + p.replace(/^\//, ''), {...init, headers: {'X-Studio-Token': studio.token}});
    return r.json();
  };
  const browser = await chromium.launch({
    executablePath: chromiumPath, headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run']
  });
  try {
    const page = await browser.newPage({viewport: {width: 1280, height: 760}});
    page.on('pageerror', e => fail('page error: ' + e.message));
    await page.goto(studio.url);
    await page.waitForFunction(() => window.studio && window.studio.state.ready);

    const at = (x, y) => page.evaluate(([x, y]) => window.studio.clientPoint(x, y), [x, y]);
    const drag = async (a, b) => {
      const p = await at(a[0], a[1]), q = await at(b[0], b[1]);
      await page.mouse.move(p.x, p.y); await page.mouse.down();
      await page.mouse.move(q.x, q.y, {steps: 12}); await page.mouse.up();
    };
    const click = async (x, y) => { const p = await at(x, y); await page.mouse.click(p.x, p.y); };
    const setValue = async v => { await page.fill('#value', String(v)); await page.press('#value', 'Enter'); };

    // The walkable floor, then the screen's foot rubbed out of it, leaving a gap at the bottom.
    await page.check('#layer-walk');
    await setValue(1);
    await page.click('[data-tool=rect]');
    await drag(FLOOR.slice(0, 2), FLOOR.slice(2));
    await page.fill('#size', '7'); await page.press('#size', 'Enter');
    await page.click('[data-tool=eraser]');
    await drag([SCREEN_X, SCREEN_TOP], [SCREEN_X, SCREEN_BOTTOM]);
    // A slip of the brush on the wall, undone, redone and undone again.
    await page.click('[data-tool=brush]');
    await drag([60, 60], [120, 100]);
    const painted = () => page.evaluate(() => window.studio.state.masks.walk[80 * 320 + 90]);
    check(await painted() === 1, 'the brush did not paint');
    await page.keyboard.press('Control+z');
    await page.keyboard.press('Control+y');
    check(await painted() === 1, 'redo did not paint again');
    await page.keyboard.press('Control+z');
    check(await painted() === 0, 'undo left the stroke');
    // The table's depth level, outlined corner by corner.
    await page.check('#layer-depth');
    await setValue(TABLE_LEVEL);
    await page.click('[data-tool=poly]');
    for (const [x, y] of [[TABLE[0], TABLE[1]], [TABLE[2], TABLE[1]], [TABLE[2], TABLE[3]], [TABLE[0], TABLE[3]],
                          [TABLE[0], TABLE[1]]])
      await click(x, y);
    const level = await page.evaluate(([x, y]) => window.studio.state.masks.depth[y * 320 + x], [TABLE[2], TABLE[3]]);
    check(level === TABLE_LEVEL, 'the polygon did not fill the table: ' + level);
    // The door: a new hotspot, named, painted.
    await page.click('#hsadd');
    await page.keyboard.type('door');
    await page.keyboard.press('Enter');
    await page.click('[data-tool=rect]');
    await drag(DOOR.slice(0, 2), DOOR.slice(2));
    // The window too; deleted with its pixels, and brought back by one undo.
    await page.click('#hsadd');
    await page.keyboard.type('window');
    await page.keyboard.press('Enter');
    await drag(WINDOW.slice(0, 2), WINDOW.slice(2));
    const windowState = () => page.evaluate(([x, y]) => {
      const s = window.studio.state;
      return s.hotspots.map(h => h.name).join(',') + ' ' + s.masks.click[y * 320 + x];
    }, [60, 50]);
    check(await windowState() === 'door,window 2', 'the window was not painted: ' + await windowState());
    await page.locator('.hs').nth(1).locator('button', {hasText: '\u00d7'}).click();
    check(await windowState() === 'door 0', 'the window was not deleted: ' + await windowState());
    await page.keyboard.press('Control+z');
    check(await windowState() === 'door,window 2', 'undo did not bring the window back: ' + await windowState());
    // A path round the screen.
    await page.click('[data-tool=path]');
    await click(FROM[0], FROM[1]);
    await click(TO[0], TO[1]);
    await page.waitForFunction(() => window.studio.state.lastPath);
    const preview = await page.evaluate(() => window.studio.state.lastPath);
    check(preview.found && preview.path.length > 2, 'the preview should go round the screen: ' + JSON.stringify(preview));
    check(preview.path.some(p => p.y > SCREEN_BOTTOM + 3), 'the preview should pass below the screen');
    // The hero half behind the table, for the picture.
    await page.selectOption('#spriteview', 'hero.OVV');
    await page.waitForFunction(() => window.studio.state.cel);
    await page.click('[data-tool=sprite]');
    await click(231, 152);
    await page.waitForFunction(() => window.studio.state.lastDepth);
    const heroShown = await page.evaluate(() => {
      const f = window.studio.state.figure, d = f.canvas.getContext('2d').getImageData(0, 0, f.canvas.width, f.canvas.height).data;
      let shown = 0;
      for (let i = 3; i < d.length; i += 4) if (d[i]) shown++;
      return {shown, width: f.canvas.width, left: f.left};
    });
    check(heroShown.width === 16 && heroShown.left === 231 - 8, 'the hero cel is not placed as a sprite: ' + JSON.stringify(heroShown));
    check(heroShown.shown > 0 && heroShown.shown < 300, 'the table should hide part of the hero: ' + JSON.stringify(heroShown));
    await page.click('#save');
    await page.waitForFunction(() => document.getElementById('msg').textContent.startsWith('Saved'));
    await page.mouse.move(10, 10);
    if (screenshot) await page.screenshot({path: screenshot});

    // What the studio says about the saved room.
    const points = [];
    for (let y = 4; y < H; y += 13) for (let x = 3; x < W; x += 17) points.push([x, y]);
    points.push([SCREEN_X, 150], [SCREEN_X, 190], [DOOR[0], DOOR[1]], [DOOR[2], DOOR[3]], [DOOR[2] + 1, DOOR[3]]);
    const studioAt = [];
    for (const [x, y] of points) {
      const a = await ask('/api/at?x=' + x + '&y=' + y);
      studioAt.push(a.walk + ' ' + (a.hotspot === null ? 'null' : a.hotspot));
    }
    const depthRows = [145, 150, 160, 175, 195];
    const studioDepth = [];
    for (const y of depthRows) {
      const d = await ask('/api/depth?x=210&y=' + y);
      studioDepth.push(d.priority + ' ' + d.hiddenBy.includes(TABLE_LEVEL));
    }
    check(studioAt.some(s => s.endsWith(' door')), 'the door is not on the click mask');
    check(studioDepth.some(s => s.endsWith('true')) && studioDepth.some(s => s.endsWith('false')),
          'the table should hide the hero at some rows and not at others: ' + studioDepth.join(', '));
    await ask('/api/quit', {method: 'POST', body: ''}).catch(() => {});

    // The engine on the saved room.
    const game = path.join(work, 'game');
    fs.mkdirSync(path.join(game, 'DATA'), {recursive: true});
    fs.copyFileSync(path.join(work, 'room.OVP'), path.join(game, 'DATA', 'room.OVP'));
    fs.writeFileSync(path.join(game, 'DATA', 'main.ovs'), `
var P = ${JSON.stringify(points)}, ROWS = ${JSON.stringify(depthRows)};
function Init() {
    SetBackdrop("room");
    var out = [];
    for (var i = 0; i < P.length; i++) out.push(GetWalkability(P[i][0], P[i][1]) + " " + GetHotspot(P[i][0], P[i][1]));
    Alert("AT " + out.join(";"));
    var hero = new Sprite();
    out = [];
    for (var i = 0; i < ROWS.length; i++) { hero.x = 210; hero.y = ROWS[i]; out.push(hero.priority); }
    Alert("PRIORITY " + out.join(";"));
    hero.x = ${FROM[0]}; hero.y = ${FROM[1]}; hero.step = 1;
    var walked = [hero.x + "," + hero.y];
    if (!hero.WalkTo(${TO[0]}, ${TO[1]})) Alert("WALK refused");
    for (var n = 0; hero.Moving() && n < 5000; n++) {
        Animate();
        walked.push(hero.x + "," + hero.y);
    }
    Alert("WALK " + walked.join(";"));
}
function Run() {}
`);
    const run = spawnSync(path.join(buildDir, 'ove'), ['--headless', '--frames', '5'],
                          {cwd: game, encoding: 'utf8', timeout: 60000,
                           env: {...process.env, SDL_VIDEODRIVER: 'offscreen', SDL_AUDIODRIVER: 'dummy'}});
    const alert = tag => {
      const m = (run.stderr || '').match(new RegExp('Alert: ' + tag + ' ([^\\n]*)'));
      return m ? m[1] : null;
    };
    if (!check(run.status === 0 && alert('AT') !== null, 'the engine run failed: ' + run.status + ' ' + run.signal + ' ' + run.error + '\n' + run.stderr)) return;

    const engineAt = alert('AT').split(';');
    points.forEach(([x, y], i) => check(engineAt[i] === studioAt[i],
      `at (${x}, ${y}) the studio says "${studioAt[i]}", the game "${engineAt[i]}"`));
    const enginePriority = alert('PRIORITY').split(';');
    depthRows.forEach((y, i) => check(studioDepth[i].split(' ')[0] === enginePriority[i],
      `a hero at y ${y}: priority ${studioDepth[i]} in the studio, ${enginePriority[i]} in the game`));
    // WalkTo moves one pixel a frame here, so it stands on every waypoint of the preview in turn.
    const walked = (alert('WALK') || '').split(';');
    let next = 0;
    for (const spot of walked) if (next < preview.path.length && spot === preview.path[next].x + ',' + preview.path[next].y) next++;
    check(next === preview.path.length, `the hero's walk (${walked.length} steps) missed the preview's waypoint ` +
          JSON.stringify(preview.path[next]));
    check(walked[walked.length - 1] === TO.join(','), 'the hero did not arrive: ' + walked[walked.length - 1]);
    if (!process.exitCode) console.log(`studio browser test: ${points.length} points, ${depthRows.length} depths and a ` +
                                       `${preview.path.length}-point path agree with the engine`);
  } finally {
    await browser.close();
    studio.child.kill();
    fs.rmSync(work, {recursive: true, force: true});
  }
}

main().catch(e => { fail(e.stack || String(e)); });

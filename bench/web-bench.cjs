// The showcase in Debian's headless Chromium, from a local server that gzips as hosts do:
// the download (engine + game data, gzip -6), the first frame after the page is opened, and the
// time of the recorded replay per turn, and (for scale) what a bare WebGL 2 page costs per frame
// drawn and read back at the same size. Prints one JSON line for bench/web_vs_native.sh.
// Usage: node web-bench.cjs SITE REPLAY.rec FRAMES OVE_NPM CHROMIUM
const fs = require('node:fs');
const path = require('node:path');
const zlib = require('node:zlib');
const { serve, browserArgs } = require('../tests/web/serve.cjs');

const [site, replay, frames, npm, chromiumPath] = process.argv.slice(2);
const { chromium } = require(path.join(npm, 'node_modules', 'playwright-core'));

async function run(browser, url, config, until) {
  const context = await browser.newContext();  // nothing cached between runs
  const page = await context.newPage();
  await page.addInitScript(c => { window.OVE_CONFIG = c; }, { autostart: true, ...config });
  await page.goto(url);
  await page.waitForFunction(until, null, { timeout: 300000 });
  const timings = await page.evaluate(() => window.oveTimings);
  await context.close();
  return timings;
}

async function main() {
  let download = 0;
  for (const name of fs.readdirSync(site).filter(n => !n.endsWith('.html') || n === 'index.html')) download += zlib.gzipSync(fs.readFileSync(path.join(site, name)), { level: 6 }).length;
  const server = await serve(path.dirname(path.resolve(site)), { gzip: true });
  const url = `${server.url}/${path.basename(site)}/index.html`;
  const browser = await chromium.launch({ executablePath: chromiumPath, args: browserArgs });
  try {
    const firsts = [];
    for (let k = 0; k < 3; k++) firsts.push((await run(browser, url, {}, () => window.oveTimings && window.oveTimings.firstFrame)).firstFrame);
    firsts.sort((a, b) => a - b);
    const rec = fs.readFileSync(replay).toString('base64');
    const t = await run(browser, url, {
      args: ['--replay', '/replay/demo.rec', '--frames', frames], files: { '/replay/demo.rec': rec },
    }, () => window.oveExitStatus !== undefined);
    const floor = await browser.newPage();
    fs.copyFileSync(path.join(__dirname, 'web', 'webgl-floor.html'), path.join(site, 'webgl-floor.html'));
    await floor.goto(`${server.url}/${path.basename(site)}/webgl-floor.html?frames=500`);
    await floor.waitForFunction(() => window.floorMs, null, { timeout: 120000 });
    const floorMs = await floor.evaluate(() => window.floorMs);
    console.log(JSON.stringify({ download, firstFrameMs: firsts[1], replayMs: t.exited - t.mainCalled, floorMs }));
  } finally {
    await browser.close();
    await server.close();
  }
}

main().catch(e => { console.error(e); process.exit(1); });

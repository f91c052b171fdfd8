// Median frame times per timeline entry of the browser build in headless
// Chromium (SwiftShader's WebGL 2): the whole demo, silent, in real time.
// Prints, per entry, the median time of the frame routine (the GL layer's
// work on the CPU, drawing included where the browser draws at once) and
// the median interval between animation frames (what the viewer gets).
//
//   node bench/web/frame_times.mjs build-web/site [START,END,OFFSET]
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import path from 'node:path';
import url from 'node:url';

const here = path.dirname(url.fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, '../../tests/web/package.json'));
const puppeteer = require('puppeteer-core');
const site = process.argv[2];
const debug = process.argv[3] ? `&debug=${process.argv[3]}` : '';

const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', site],
                     { stdio: ['ignore', 'pipe', 'ignore'] });
const port = await new Promise((resolve) => {
  let said = '';
  server.stdout.on('data', (d) => { said += d; const m = said.match(/port (\d+)/); if (m) resolve(m[1]); });
});
const browser = await puppeteer.launch({
  executablePath: '/usr/lib/chromium/chromium', headless: 'new',
  args: ['--no-sandbox', '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
         '--disable-background-networking', '--disable-component-update', '--no-first-run'],
});
try {
  const page = await browser.newPage();
  const t0 = Date.now();
  await page.goto(`http://127.0.0.1:${port}/?silent${debug}`);
  await page.waitForFunction(() => window.brassTide && brassTide.state === 'ready', { timeout: 60000 });
  console.log(`start screen after ${Date.now() - t0} ms`);
  await page.goto(`http://127.0.0.1:${port}/?silent&bench&autostart${debug}`);
  // The whole demo plays in real time: ask every few seconds.
  while (!(await page.evaluate(() => window.brassTide && ['ended', 'error'].includes(brassTide.state))))
    await new Promise((r) => setTimeout(r, 3000));
  const b = await page.evaluate(() => brassTide.bench);
  const median = (a) => { const s = [...a].sort((x, y) => x - y); return s[Math.floor(s.length / 2)]; };
  console.log('entry  frames  routine_ms  interval_ms');
  for (const e of Object.keys(b.cost).map(Number).sort((x, y) => x - y)) {
    const iv = b.interval[e] || [];
    console.log(`${String(e).padStart(5)} ${String(b.cost[e].length).padStart(7)} ${median(b.cost[e]).toFixed(2).padStart(11)} ${(iv.length ? median(iv) : NaN).toFixed(2).padStart(12)}`);
  }
} finally {
  await browser.close();
  server.kill();
}

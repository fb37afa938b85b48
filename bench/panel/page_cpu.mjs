// Measures the CPU that Debian's chromium spends on the panel page: opens the page, lets it take
// the stream of readings for a while, and reads the CPU time of the whole chromium process tree
// (browser, renderer, GPU and utility processes) from /proc before and after.
// Usage: node page_cpu.mjs URL SECONDS
import { mkdtempSync, readFileSync, readdirSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";

const require = createRequire(new URL("../../tools/panel/test/package.json", import.meta.url));
const { chromium } = require("playwright-core");
const [url, secondsText = "60"] = process.argv.slice(2);
const seconds = Number(secondsText);
const ticks = 100;  // USER_HZ on Linux

function stat(pid) {
  try {
    const text = readFileSync(`/proc/${pid}/stat`, "utf8");
    const fields = text.slice(text.lastIndexOf(")") + 2).split(" ");
    return { ppid: Number(fields[1]), cpu: Number(fields[11]) + Number(fields[12]) };
  } catch {
    return null;
  }
}

// CPU seconds of every process below (and including) the one whose command line names `marker`.
function treeCpu(marker) {
  const all = new Map();
  let root = null;
  for (const entry of readdirSync("/proc")) {
    if (!/^\d+$/.test(entry)) continue;
    const s = stat(entry);
    if (!s) continue;
    all.set(Number(entry), s);
    if (root === null) {
      try {
        const cmd = readFileSync(`/proc/${entry}/cmdline`, "utf8");
        if (cmd.includes(marker) && !cmd.includes("--type=")) root = Number(entry);
      } catch {}
    }
  }
  const byType = {};
  for (const [pid, s] of all) {
    for (let p = pid; p > 1 && all.has(p); p = all.get(p).ppid) {
      if (p === root) {
        let type = "browser";
        try {
          const m = readFileSync(`/proc/${pid}/cmdline`, "utf8").match(/--type=([a-z-]+)/);
          if (m) type = m[1];
        } catch {}
        byType[type] = (byType[type] || 0) + s.cpu / ticks;
        break;
      }
    }
  }
  return byType;
}

function difference(after, before) {
  const out = {};
  for (const [type, cpu] of Object.entries(after)) out[type] = +(cpu - (before[type] || 0)).toFixed(2);
  return out;
}

const profile = mkdtempSync(join(tmpdir(), "zr48-panel-cpu-"));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  viewport: { width: 1400, height: 1050 },
});
try {
  const page = context.pages()[0] || (await context.newPage());
  await page.goto(url);
  await page.waitForFunction(() => document.querySelectorAll(".tile").length === 7);
  await page.waitForTimeout(5000);  // past start-up
  const before = treeCpu(profile);
  const start = performance.now();
  await page.waitForTimeout(seconds * 1000);
  const wall = (performance.now() - start) / 1000;
  const byType = difference(treeCpu(profile), before);
  const used = Object.values(byType).reduce((a, b) => a + b, 0);
  console.log(JSON.stringify({
    seconds: +wall.toFixed(1),
    cpu_seconds: +used.toFixed(2),
    percent_of_one_cpu: +((100 * used) / wall).toFixed(2),
    by_process: byType,
  }));
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}

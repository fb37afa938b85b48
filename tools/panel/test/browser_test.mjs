// Drives Debian's chromium through the panel page: seven tiles, ch2 set to 12.5 V and switched
// on, the tile showing the new reading, a refused value shown beside its control, screenshots.
// Usage: node browser_test.mjs URL SCREENSHOT_DIR. Exits 77 when chromium cannot run at all.
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";

const [url, shots] = process.argv.slice(2);
const chromiumPath = process.env.ZR48_CHROMIUM || "/usr/bin/chromium";
const flags = [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
];

function fail(message) {
  console.error(`browser test: ${message}`);
  process.exitCode = 1;
}

const profile = mkdtempSync(join(tmpdir(), "zr48-panel-chromium-"));
let context;
try {
  context = await chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    args: flags,
    viewport: { width: 1400, height: 1050 },
    colorScheme: "light",
    timeout: 60000,
  });
} catch (e) {
  console.error(`browser test: chromium cannot run here, skipping: ${e.message.split("\n")[0]}`);
  rmSync(profile, { recursive: true, force: true });
  process.exit(77);
}

try {
  const page = context.pages()[0] || (await context.newPage());
  page.setDefaultTimeout(20000);
  const problems = [];
  // The refused value's 400 is expected; anything else the console reports is a fault.
  page.on("console", (m) => {
    if (m.type() === "error" && !m.text().includes("status of 400")) problems.push(m.text());
  });
  page.on("pageerror", (e) => problems.push(e.message));

  await page.goto(url);
  await page.waitForFunction(() => document.querySelectorAll(".tile").length === 7);
  const tiles = await page.locator(".tile").count();
  if (tiles !== 7) fail(`expected 7 tiles, saw ${tiles}`);
  const ch2 = page.locator('.tile[data-ch="2"]');
  await ch2.locator(".out", { hasText: "OFF" }).waitFor();

  // A value out of range is refused beside its control and never sent.
  await ch2.locator('form[data-what="voltage"] input').fill("31");
  await ch2.locator('form[data-what="voltage"] button').click();
  await ch2.locator('form[data-what="voltage"] .err', { hasText: "out of range" }).waitFor();

  await ch2.locator('form[data-what="voltage"] input').fill("12.5");
  const setDone = page.waitForResponse((r) => r.url().includes("/api/channel/2/voltage"));
  await ch2.locator('form[data-what="voltage"] button').click();
  if (!(await setDone).ok()) fail("setting 12.5 V was not accepted");
  if ((await ch2.locator('form[data-what="voltage"] .err').textContent()) !== "") {
    fail("the error beside the voltage control stayed after a good value");
  }

  const switchDone = page.waitForResponse((r) => r.url().includes("/api/channel/2/output"));
  await ch2.locator("button.toggle").click();
  if (!(await switchDone).ok()) fail("switching ch2 on was not accepted");

  // The reading comes back through the event stream: 12.5 V into the simulator's 10 ohm load.
  await ch2.locator(".out", { hasText: "ON" }).waitFor();
  await ch2.locator(".value.v", { hasText: "12.500" }).waitFor();
  await ch2.locator(".value.i", { hasText: "1.250" }).waitFor();
  await ch2.locator(".setV", { hasText: "12.500 V" }).waitFor();
  await ch2.locator(".mode", { hasText: "CV" }).waitFor();
  // Let a few more readings reach the plot before the pictures.
  await page.waitForFunction(() => document.querySelectorAll(".plot canvas").length >= 2);
  await page.waitForTimeout(1500);
  await page.screenshot({ path: join(shots, "panel-light.png"), fullPage: true });
  await page.emulateMedia({ colorScheme: "dark" });
  await page.screenshot({ path: join(shots, "panel-dark.png"), fullPage: true });
  if (problems.length) fail(`the page reported errors: ${problems.join(" | ")}`);
} catch (e) {
  fail(e.message);
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}

// The soft front panel page: tiles and plots fed by the panel's event stream; controls posted
// back to the panel, which checks them and drives the instrument.
"use strict";

const token = document.querySelector('meta[name="zr48-token"]').content;
const colours = ["#e6550d", "#3182bd", "#31a354", "#756bb1", "#d6616b", "#17becf", "#8c6d31"];
const tiles = [];
let ratings = [];
let windowS = 300;
let plotV = null;
let plotI = null;
let rowsV = [];
let rowsI = [];
let lastErrorId = -1;
let plotDue = false;

function withToken(path, query = "") {
  return `${path}?token=${encodeURIComponent(token)}${query}`;
}

async function post(path, body) {
  let response;
  try {
    response = await fetch(withToken(path), {
      method: "POST",
      headers: { "Content-Type": "application/json", "X-ZR48-Token": token },
      body: JSON.stringify(body),
    });
  } catch (e) {
    return { ok: false, message: "The panel cannot be reached.", errors: [] };
  }
  try {
    return await response.json();
  } catch (e) {
    return { ok: false, message: `The panel answered ${response.status}.`, errors: [] };
  }
}

function describe(result) {
  if (result.ok) return "";
  return [result.message, ...(result.errors || [])].filter(Boolean).join("; ");
}

function setText(element, text) {
  if (element.textContent !== text) element.textContent = text;
}

function fixed(value, digits) {
  return typeof value === "number" && isFinite(value) ? value.toFixed(digits) : "-";
}

function buildTile(rating) {
  const tile = document.getElementById("tile-template").content.firstElementChild.cloneNode(true);
  const n = rating.n;
  tile.dataset.ch = n;
  tile.querySelector(".name").textContent = `CH${n}`;
  tile.querySelector(".rating").textContent = `${rating.volt} V / ${rating.curr} A`;
  const limits = { voltage: rating.volt, current: rating.curr, ovp: rating.ovp };
  const units = { voltage: "V", current: "A", ovp: "V" };
  for (const form of tile.querySelectorAll("form.set")) {
    const what = form.dataset.what;
    const input = form.querySelector("input");
    input.placeholder = `0 to ${+limits[what].toFixed(3)} ${units[what]}`;
    input.setAttribute("aria-label", `CH${n} ${what}`);
    form.addEventListener("submit", async (event) => {
      event.preventDefault();
      const out = form.querySelector(".err");
      out.textContent = "";
      const result = await post(`api/channel/${n}/${what}`, { value: input.value.trim() });
      out.textContent = describe(result);
      if (result.ok) input.value = "";
    });
  }
  const actionError = tile.querySelector(".actions .err");
  tile.querySelector(".toggle").addEventListener("click", async () => {
    actionError.textContent = "";
    const on = !tile.classList.contains("on");
    actionError.textContent = describe(await post(`api/channel/${n}/output`, { on }));
  });
  tile.querySelector(".clear").addEventListener("click", async () => {
    actionError.textContent = "";
    actionError.textContent = describe(await post(`api/channel/${n}/clear`, {}));
  });
  const parts = {};
  for (const name of ["v", "i", "p", "setV", "setI", "ovp", "out", "mode", "trip", "comb", "toggle", "clear"]) {
    parts[name] = tile.querySelector(`.${name}`);
  }
  tiles.push({ tile, parts });
  document.getElementById("tiles").appendChild(tile);
}

function renderTile({ tile, parts }, ch) {
  setText(parts.v, fixed(ch.v, 3));
  setText(parts.i, fixed(ch.i, 3));
  setText(parts.p, fixed(ch.p, 2));
  setText(parts.setV, `${fixed(ch.setV, 3)} V`);
  setText(parts.setI, `${fixed(ch.setI, 3)} A`);
  setText(parts.ovp, `${fixed(ch.ovp, 2)} V`);
  tile.classList.toggle("on", ch.out);
  tile.classList.toggle("tripped", ch.trip);
  setText(parts.out, ch.out ? "ON" : "OFF");
  parts.out.classList.toggle("is-on", ch.out);
  setText(parts.mode, ch.mode);
  parts.mode.hidden = ch.mode === "off";
  parts.mode.classList.toggle("cc", ch.mode === "CC");
  parts.trip.hidden = !ch.trip;
  parts.comb.hidden = ch.comb === "off";
  setText(parts.comb, ch.comb);
  setText(parts.toggle, ch.out ? "Switch off" : "Switch on");
  parts.clear.disabled = !ch.trip;
}

function renderErrors(errors) {
  const newest = errors.length ? errors[errors.length - 1].id : 0;
  if (newest === lastErrorId) return;
  lastErrorId = newest;
  const list = document.getElementById("errors");
  list.replaceChildren(
    ...errors
      .slice()
      .reverse()
      .map((e) => {
        const item = document.createElement("li");
        const time = new Date(e.t * 1000).toLocaleTimeString();
        item.textContent = `${time}  ${e.source}: ${e.text}`;
        return item;
      }),
  );
  document.getElementById("no-errors").hidden = errors.length > 0;
}

function trim(rows) {
  if (!rows.length) return;
  const from = rows[rows.length - 1][0].getTime() - windowS * 1000;
  let drop = 0;
  while (drop < rows.length && rows[drop][0].getTime() < from) drop++;
  if (drop) rows.splice(0, drop);
}

function makePlot(element, rows, unit) {
  const labels = ["time"];
  for (let n = 1; n <= 7; n++) labels.push(`CH${n}`);
  return new Dygraph(element, rows.length ? rows : [[new Date(), ...Array(7).fill(null)]], {
    labels,
    colors: colours,
    strokeWidth: 1.5,
    legend: "follow",
    labelsKMB: false,
    ylabel: unit,
    includeZero: true,
    axisLineColor: "currentColor",
    gridLineColor: "rgba(128,128,128,0.25)",
    connectSeparatedPoints: false,
    animatedZooms: false,
    axes: { x: { axisLabelWidth: 70 } },
  });
}

// Redraws the plots at most once a second (every reading is kept and drawn; at 2 Hz two arrive
// per redraw), and not at all while the page is hidden: redrawing is most of the page's CPU.
const plotPeriodMs = 1000;
let lastPlotMs = 0;
function schedulePlot() {
  if (plotDue) return;
  plotDue = true;
  const wait = Math.max(0, lastPlotMs + plotPeriodMs - performance.now());
  setTimeout(() => {
    requestAnimationFrame(() => {
      plotDue = false;
      lastPlotMs = performance.now();
      if (!plotV || !rowsV.length) return;
      plotV.updateOptions({ file: rowsV });
      plotI.updateOptions({ file: rowsI });
    });
  }, wait);
}

function renderState(state) {
  const link = document.getElementById("link");
  setText(link, state.link ? "link lost" : "live");
  link.classList.toggle("bad", Boolean(state.link));
  link.classList.toggle("is-on", !state.link);
  link.title = state.link || "";
  state.channels.forEach((ch, index) => {
    if (tiles[index]) renderTile(tiles[index], ch);
  });
  renderErrors(state.errors);
  const time = new Date(state.t * 1000);
  if (!rowsV.length || time > rowsV[rowsV.length - 1][0]) {
    rowsV.push([time, ...state.channels.map((ch) => ch.v)]);
    rowsI.push([time, ...state.channels.map((ch) => ch.i)]);
    trim(rowsV);
    trim(rowsI);
    schedulePlot();
  }
}

async function loadHistory() {
  const response = await fetch(withToken("api/history", `&seconds=${windowS}`));
  const history = await response.json();
  rowsV = history.t.map((t, k) => [new Date(t * 1000), ...history.v[k]]);
  rowsI = history.t.map((t, k) => [new Date(t * 1000), ...history.i[k]]);
  document.getElementById("csv").href = withToken("api/history.csv", `&seconds=${windowS}`);
  schedulePlot();
}

function connect() {
  const events = new EventSource(withToken("events"));
  events.addEventListener("state", (event) => renderState(JSON.parse(event.data)));
  events.addEventListener("error", () => {
    const link = document.getElementById("link");
    setText(link, "panel unreachable");
    link.classList.add("bad");
  });
}

async function start() {
  const info = await (await fetch(withToken("api/info"))).json();
  ratings = info.ratings;
  setText(document.getElementById("idn"), info.idn + (info.simulated ? " (simulated)" : ""));
  setText(
    document.getElementById("revisions"),
    `${info.resource} | ${info.driverRevision} | firmware ${info.firmwareRevision} | ` +
      `polled every ${info.interval} s, ${Math.round(info.history / 60)} min kept`,
  );
  for (const option of document.querySelectorAll("#window option")) {
    option.disabled = Number(option.value) > Math.max(60, info.history);
  }
  ratings.forEach(buildTile);
  plotV = makePlot(document.getElementById("plot-v"), rowsV, "V");
  plotI = makePlot(document.getElementById("plot-i"), rowsI, "A");
  document.getElementById("window").addEventListener("change", (event) => {
    windowS = Number(event.target.value);
    loadHistory();
  });
  document.getElementById("all-off").addEventListener("click", async () => {
    const out = document.getElementById("all-off-error");
    out.textContent = "";
    out.textContent = describe(await post("api/all-off", {}));
  });
  await loadHistory();
  connect();
}

start();

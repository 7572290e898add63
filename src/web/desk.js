// The review desk: the queue of readings that were not sure, one reading with its photograph,
// the code region outlined and its characters cut out, an input that checks the code as it is
// typed, the photographs of a truck pass side by side, a search and the day's figures. It talks
// only to the service that served it, through the JSON routes under /desk/.
"use strict";

const $ = (id) => document.getElementById(id);
const state = {
  lang: localStorage.getItem("desk-lang") ||
        ((navigator.language || "").toLowerCase().startsWith("ko") ? "ko" : "en"),
  token: sessionStorage.getItem("desk-token") || "",
  view: "queue",
  readings: [],
  current: null,
  owners: new Set(),
};

function t(key, values) {
  let text = (window.DESK_TEXTS[state.lang] || {})[key] || window.DESK_TEXTS.en[key] || key;
  for (const [k, v] of Object.entries(values || {})) text = text.replace("{" + k + "}", v);
  return text;
}

function applyTexts() {
  document.documentElement.lang = state.lang;
  for (const node of document.querySelectorAll("[data-text]")) node.textContent = t(node.dataset.text);
  $("language").textContent = t("other");
  document.title = t("title");
}

async function api(path, body) {
  const headers = {};
  if (state.token) headers.Authorization = "Bearer " + state.token;
  const init = { headers };
  if (body !== undefined) {
    init.method = "POST";
    headers["Content-Type"] = "application/json";
    init.body = JSON.stringify(body);
  }
  const answer = await fetch(path, init);
  if (answer.status === 401) $("token-box").hidden = false;
  if (!answer.ok) {
    let error = answer.statusText;
    try { error = (await answer.json()).error; } catch (e) { /* not JSON */ }
    throw new Error(error);
  }
  return answer;
}

let statusTimer = 0;
function status(text) {
  $("status").textContent = text;
  clearTimeout(statusTimer);
  if (text) statusTimer = setTimeout(() => { $("status").textContent = ""; }, 5000);
}

// ISO 6346: letters are worth 10 upwards, skipping the multiples of 11.
function isoValue(c) {
  if (c >= "0" && c <= "9") return c.charCodeAt(0) - 48;
  let v = 10;
  for (let x = 65; x < c.charCodeAt(0); ++x) {
    ++v;
    if (v % 11 === 0) ++v;
  }
  return v;
}

function checkDigit(code) {
  let sum = 0;
  for (let i = 0; i < 10; ++i) sum += isoValue(code[i]) * (1 << i);
  return (sum % 11) % 10;
}

// What the input holds: whether it may be saved and what to tell the person.
function judge(code) {
  if (!/^[A-Z]{4}[0-9]{7}$/.test(code)) {
    const shapeSoFar = /^[A-Z]{0,4}$|^[A-Z]{4}[0-9]{0,7}$/.test(code);
    return { ok: false, text: t("shape"), bad: !shapeSoFar };
  }
  const digit = checkDigit(code);
  if (digit !== Number(code[10])) return { ok: false, text: t("checkWrong", { d: digit }), bad: true };
  const owner = code.slice(0, 4);
  if (state.owners.size && !state.owners.has(owner))
    return { ok: true, text: t("checkOk") + " " + t("ownerUnknown", { o: owner }), warn: true };
  return { ok: true, text: t("checkOk") + " " + t("ownerOk", { o: owner }) };
}

function refreshCheck() {
  const input = $("code-input");
  const code = input.value.toUpperCase().replace(/[^A-Z0-9]/g, "");
  if (code !== input.value) input.value = code;
  const verdict = judge(code);
  $("code-check").textContent = verdict.text;
  $("code-check").className = "note " + (verdict.bad ? "bad" : verdict.warn ? "warn" : verdict.ok ? "good" : "");
  input.classList.toggle("bad", !!verdict.bad);
  $("settle").disabled = !verdict.ok;
  const reading = state.current;
  $("settle").textContent = reading && code !== reading.code ? t("correct") : t("confirm");
  drawCharacters(code);
  return verdict;
}

async function photoUrl(hash) {
  const blob = await (await api("/desk/photo?hash=" + hash)).blob();
  return URL.createObjectURL(blob);
}

function label(reading) {
  const item = document.createElement("li");
  item.dataset.id = reading.id;
  const code = reading.settled ? reading.settled.code : reading.code || "—";
  item.innerHTML = "<b></b> <span class='outcome'></span><br><small></small>";
  item.querySelector("b").textContent = code;
  item.querySelector(".outcome").textContent = reading.settled ? t("settled") : t(reading.outcome);
  item.querySelector(".outcome").classList.add(reading.settled ? "settled" : reading.outcome);
  item.querySelector("small").textContent = reading.time.slice(11, 19) + " " +
      reading.time.slice(0, 10) + " · " + (reading.file || reading.pass || "#" + reading.id);
  item.addEventListener("click", () => show(reading));
  return item;
}

function fillList(readings, empty) {
  state.readings = readings;
  const list = $("list");
  list.replaceChildren(...readings.map(label));
  $("list-note").textContent = readings.length ? "" : empty;
}

async function loadQueue() {
  const answer = await (await api("/desk/queue?limit=100")).json();
  fillList(answer.readings, t("emptyQueue"));
  if (answer.readings.length) show(answer.readings[0]);
  else $("detail").hidden = true;
}

async function search(event) {
  if (event) event.preventDefault();
  const form = new FormData($("search-form"));
  const query = new URLSearchParams();
  for (const [k, v] of form) if (v) query.set(k, k === "to" ? nextDay(v) : v);
  const answer = await (await api("/desk/search?" + query)).json();
  fillList(answer.readings, t("noResults"));
}

function nextDay(day) {
  const d = new Date(day + "T00:00:00Z");
  d.setUTCDate(d.getUTCDate() + 1);
  return d.toISOString().slice(0, 10);
}

async function loadFigures() {
  const f = await (await api("/desk/figures")).json();
  const box = $("figures");
  box.replaceChildren();
  for (const [key, name] of [["read", "read"], ["sure", "sureN"], ["review", "reviewN"],
                             ["unread", "unreadN"], ["settled", "settledN"], ["corrected", "correctedN"]]) {
    const cell = document.createElement("div");
    cell.className = "figure";
    cell.innerHTML = "<strong></strong><span></span>";
    cell.querySelector("strong").textContent = f[key];
    cell.querySelector("span").textContent = t(name);
    box.append(cell);
  }
  $("list-note").textContent = f.day;
  $("list").replaceChildren();
}

// The code region enlarged beside the photograph, and the characters of the input in boxes
// under it, one per position, so that a wrong one stands out.
function drawRegion(image, region) {
  const canvas = $("region-crop");
  if (!region) {
    canvas.width = canvas.height = 0;
    return;
  }
  const x = region[0][0], y = region[0][1];
  const w = Math.max(region[2][0] - x, 1), h = Math.max(region[2][1] - y, 1);
  const scale = Math.min(420 / w, (w > h ? 96 : 320) / h, 3);
  canvas.width = Math.round(w * scale);
  canvas.height = Math.round(h * scale);
  canvas.getContext("2d").drawImage(image, x, y, w, h, 0, 0, canvas.width, canvas.height);
}

// The characters as the reader cut them out of the region, one canvas each, in reading order,
// above the typed characters, so that a person compares what was painted with what was read.
async function drawCharacterCrops(reading) {
  const row = $("character-crops");
  row.replaceChildren();
  if (!reading.strip || !reading.characters || !reading.characters.length) return;
  const strip = new Image();
  strip.src = URL.createObjectURL(await (await api("/desk/strip?id=" + reading.id)).blob());
  await strip.decode();
  if (state.current !== reading) return;
  row.replaceChildren(...reading.characters.map(([x, y, w, h]) => {
    const canvas = document.createElement("canvas");
    const scale = Math.min(40 / Math.max(w, 1), 52 / Math.max(h, 1));
    canvas.width = Math.max(Math.round(w * scale), 1);
    canvas.height = Math.max(Math.round(h * scale), 1);
    canvas.getContext("2d").drawImage(strip, x, y, w, h, 0, 0, canvas.width, canvas.height);
    return canvas;
  }));
}

function drawCharacters(code) {
  const boxes = [];
  for (let i = 0; i < 11; ++i) {
    const box = document.createElement("span");
    box.textContent = code[i] || "·";
    const letter = i < 4;
    if (code[i] && (letter ? !/[A-Z]/.test(code[i]) : !/[0-9]/.test(code[i]))) box.className = "bad";
    if (i === 10) box.classList.add("check");
    boxes.push(box);
  }
  $("characters").replaceChildren(...boxes);
}

async function show(reading) {
  state.current = reading;
  for (const item of $("list").children)
    item.classList.toggle("current", Number(item.dataset.id) === reading.id);
  $("detail").hidden = false;
  $("pass-view").replaceChildren();
  const input = $("code-input");
  input.value = reading.settled ? reading.settled.code : reading.code.replace(/-/g, "");
  refreshCheck();
  const facts = [["time", reading.time.replace("T", " ").replace("Z", " UTC")],
                 ["file", reading.file], ["outcome", t(reading.outcome)],
                 ["confidence", reading.confidence == null ? "—" : reading.confidence.toFixed(3)],
                 ["look", reading.look], ["client", reading.client]];
  if (reading.settled) facts.push(["settledAs", reading.settled.code + " " + reading.settled.by]);
  $("facts").replaceChildren(...facts.flatMap(([k, v]) => {
    const dt = document.createElement("dt"), dd = document.createElement("dd");
    dt.textContent = t(k);
    dd.textContent = v || "—";
    return [dt, dd];
  }));
  $("show-pass").hidden = !reading.pass;
  const img = $("photo");
  $("region").setAttribute("points", "");
  drawRegion(null, null);
  drawCharacterCrops(reading).catch(() => $("character-crops").replaceChildren());
  if (!reading.photo) {
    img.removeAttribute("src");
    img.alt = t("noPhoto");
    return;
  }
  img.onload = () => {
    $("outline").setAttribute("viewBox", `0 0 ${img.naturalWidth} ${img.naturalHeight}`);
    if (reading.region) $("region").setAttribute("points", reading.region.map((p) => p.join(",")).join(" "));
    drawRegion(img, reading.region);
  };
  img.src = await photoUrl(reading.photo);
  input.focus();
}

async function settle(event) {
  event.preventDefault();
  const reading = state.current;
  const verdict = refreshCheck();
  if (!reading || !verdict.ok) return;
  const code = $("code-input").value;
  try {
    await api("/desk/settle", { id: reading.id, code, by: "desk" });
    status(t("saved", { c: code }));
    if (state.view === "queue") {
      const next = state.readings.findIndex((r) => r.id === reading.id);
      state.readings.splice(next, 1);
      fillList(state.readings, t("emptyQueue"));
      if (state.readings.length) show(state.readings[Math.min(next, state.readings.length - 1)]);
      else $("detail").hidden = true;
    } else {
      search();
    }
  } catch (e) {
    status(t("failed", { e: e.message }));
  }
}

async function showPass() {
  const reading = state.current;
  const answer = await (await api("/desk/search?pass=" + encodeURIComponent(reading.pass))).json();
  const view = $("pass-view");
  view.replaceChildren();
  for (const r of answer.readings.reverse()) {
    const cell = document.createElement("figure");
    const caption = document.createElement("figcaption");
    caption.textContent = (r.file || "") + " · " + (r.code || "—") + " · " + t(r.outcome);
    if (r.photo) {
      const img = document.createElement("img");
      img.src = await photoUrl(r.photo);
      cell.append(img);
    }
    cell.append(caption);
    cell.addEventListener("click", () => show(r));
    view.append(cell);
  }
  view.scrollIntoView({ block: "nearest" });
}

function switchView(view) {
  state.view = view;
  for (const tab of document.querySelectorAll(".tab")) tab.classList.toggle("active", tab.dataset.view === view);
  $("search-form").hidden = view !== "search";
  $("figures").hidden = view !== "figures";
  $("detail").hidden = true;
  $("list").replaceChildren();
  $("list-note").textContent = "";
  const load = view === "queue" ? loadQueue : view === "search" ? search : loadFigures;
  load().catch((e) => status(t("failed", { e: e.message })));
}

async function begin() {
  try {
    const owners = await (await api("/desk/owners")).json();
    state.owners = new Set(owners.owners);
  } catch (e) {
    status(t("needToken"));
    return;
  }
  status("");
  switchView(state.view);
}

function start() {
  applyTexts();
  $("language").addEventListener("click", () => {
    state.lang = state.lang === "ko" ? "en" : "ko";
    localStorage.setItem("desk-lang", state.lang);
    applyTexts();
    if (state.view === "figures") loadFigures();
    else fillList(state.readings, "");
    if (state.current && !$("detail").hidden) show(state.current);
  });
  $("token-save").addEventListener("click", () => {
    state.token = $("token").value;
    sessionStorage.setItem("desk-token", state.token);
    $("token-box").hidden = true;
    begin();
  });
  for (const tab of document.querySelectorAll(".tab"))
    tab.addEventListener("click", () => switchView(tab.dataset.view));
  $("code-input").addEventListener("input", refreshCheck);
  $("settle-form").addEventListener("submit", settle);
  $("search-form").addEventListener("submit", (e) => search(e).catch((x) => status(t("failed", { e: x.message }))));
  $("show-pass").addEventListener("click", showPass);
  begin();
}

start();

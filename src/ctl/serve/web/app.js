'use strict';
// The web remote's page: shows the jukebox's state as the service pushes it and sends one
// request per action, with the panel's rules for each control.

const kConfirmTimeout = 5000; // a credit button comes back at the latest after this
const kVolumeRest = 500;      // the slider sends once it has rested this long

const $ = (id) => document.getElementById(id);
let current = null;       // the last pushed {state, link}
let currentAt = 0;        // when it came, to count down to the next attempt
let stream = null;
let serviceDown = false;  // the stream to this service broke; the browser is trying again
let lastVolume = null;    // the volume last taken as set on the jukebox
let volumeTimer = null;   // running while a slider movement waits for its rest
const pendingCredit = {}; // button id -> {credits at the click, timer}

function statusText(link, state) {
  if (!link) return 'Es besteht keine Verbindung!';
  const retryIn = Math.max(0, Math.ceil((link.retryInMs - (Date.now() - currentAt)) / 1000));
  switch (link.phase) {
    case 'connected':
      return state.connected ? 'Verbindung hergestellt' : 'Verbindung getrennt';
    case 'connecting':
      return 'Verbinde mit der Jukebox … (Versuch ' + link.attempt + ')';
    case 'refused':
      return 'Authentifizierung fehlgeschlagen! Neuer Versuch in ' + retryIn + ' s';
    default:
      return 'Verbindung getrennt – neuer Versuch in ' + retryIn + ' s (Versuch ' + (link.attempt + 1) + ')';
  }
}

function formatTime(seconds) {
  if (seconds === null || seconds === undefined) return '';
  const s = Math.max(0, Math.floor(seconds));
  return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
}

function render() {
  const state = current ? current.state : {};
  const online = !serviceDown && !!(current && current.link.phase === 'connected' && state.connected);
  $('lblStatus').textContent =
    serviceDown ? 'Keine Verbindung zum Dienst – neuer Versuch …' : statusText(current && current.link, state);

  let version = state.version || '';
  if (state.type) version += ' (' + state.type + ')';
  $('lblVersion').textContent = version;

  $('lblCredits').textContent = state.credits === null || state.credits === undefined ? '' : String(state.credits);
  for (const id of ['cmdCreditPlus', 'cmdCreditMinus']) {
    let on = online && !pendingCredit[id];
    if (id === 'cmdCreditMinus' && state.credits === 0) on = false;
    $(id).disabled = !on;
  }

  const playing = online && state.playing === true;
  for (const id of ['cmdPrevTitle', 'cmdStop', 'cmdNextTitle']) $(id).disabled = !playing;
  $('cmdEnd').disabled = !online;
  if (!online) $('confirmEnd').hidden = true;

  $('lblCurrentSong').textContent = state.title || (state.playing === false ? '' : '-');
  const bar = $('ProgressBar1');
  const length = state.length || 0;
  bar.max = length > 0 ? length : 100;
  bar.value = online && state.position !== null && state.position !== undefined ? Math.min(state.position, bar.max) : 0;
  $('lblTime').textContent = playing ? formatTime(state.position) + ' / ' + formatTime(state.length) : '';

  const slider = $('scrVol');
  slider.disabled = !online;
  // A movement waiting for its rest is not overwritten by the jukebox's report.
  if (volumeTimer === null && state.volume !== null && state.volume !== undefined) {
    slider.value = state.volume;
    lastVolume = state.volume;
  }
  $('lblVolume').textContent = slider.value;
}

function onState(next) {
  const credits = next.state ? next.state.credits : undefined;
  for (const id of Object.keys(pendingCredit)) {
    // The jukebox confirmed: its credit count moved since the click.
    if (credits !== pendingCredit[id].credits) releaseCredit(id);
  }
  current = next;
  currentAt = Date.now();
  render();
}

function releaseCredit(id) {
  if (!pendingCredit[id]) return;
  clearTimeout(pendingCredit[id].timer);
  delete pendingCredit[id];
  render();
}

async function post(path, body) {
  $('lblMessage').textContent = '';
  try {
    const answer = await fetch(path, {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: JSON.stringify(body || {}),
      credentials: 'same-origin',
    });
    if (answer.status === 401) {
      showLogin(await reasonOf(answer));
      return false;
    }
    if (!answer.ok) {
      const reply = await answer.json().catch(() => ({}));
      $('lblMessage').textContent = reply.error || ('Fehler ' + answer.status);
      return false;
    }
    return true;
  } catch (e) {
    $('lblMessage').textContent = 'Keine Verbindung zum Dienst.';
    return false;
  }
}

function creditClick(id, path) {
  const credits = current && current.state ? current.state.credits : undefined;
  pendingCredit[id] = {credits, timer: setTimeout(() => releaseCredit(id), kConfirmTimeout)};
  render();
  post(path).then((ok) => { if (!ok) releaseCredit(id); });
}

function volumeMoved() {
  $('lblVolume').textContent = $('scrVol').value;
  clearTimeout(volumeTimer);
  volumeTimer = setTimeout(() => {
    volumeTimer = null;
    const value = Number($('scrVol').value);
    if (value === lastVolume) return;
    lastVolume = value;
    post('/api/volume', {volume: value});
  }, kVolumeRest);
}

function openStream() {
  if (stream) stream.close();
  stream = new EventSource('/api/events');
  stream.onmessage = (event) => {
    serviceDown = false;
    onState(JSON.parse(event.data));
  };
  stream.onerror = () => {
    // Nothing can be sent meanwhile: the controls go off until the stream is back.
    serviceDown = true;
    render();
    if (stream.readyState === EventSource.CLOSED) {
      // Refused (the service restarted and forgot the session) or gone: ask again shortly.
      stream = null;
      setTimeout(start, 2000);
    }
  };
}

// Why the service asks for the password (again): its own words, none on a first visit.
async function reasonOf(answer) {
  const reply = await answer.json().catch(() => ({}));
  return reply.reason && reply.reason !== 'none' ? reply.error : '';
}

function showLogin(why) {
  if (stream) { stream.close(); stream = null; }
  $('panel').hidden = true;
  $('login').hidden = false;
  $('loginMessage').textContent = why || '';
  $('password').focus();
}

async function logout() {
  try {
    const answer = await fetch('/api/logout', {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: '{}',
      credentials: 'same-origin',
    });
    const reply = await answer.json().catch(() => ({}));
    showLogin(answer.ok ? reply.message : reply.error);
  } catch (e) {
    $('lblMessage').textContent = 'Keine Verbindung zum Dienst.';
  }
}

function showPanel() {
  $('login').hidden = true;
  $('panel').hidden = false;
  openStream();
}

async function start() {
  try {
    const answer = await fetch('/api/state', {credentials: 'same-origin', cache: 'no-store'});
    if (answer.status === 401) showLogin(await reasonOf(answer));
    else showPanel();
  } catch (e) {
    $('lblStatus').textContent = 'Keine Verbindung zum Dienst – neuer Versuch …';
    setTimeout(start, 2000);
  }
}

async function login(event) {
  event.preventDefault();
  const message = $('loginMessage');
  message.textContent = '';
  $('loginButton').disabled = true;
  try {
    const answer = await fetch('/api/login', {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: JSON.stringify({password: $('password').value}),
      credentials: 'same-origin',
    });
    if (answer.ok) {
      $('password').value = '';
      showPanel();
    } else {
      const reply = await answer.json().catch(() => ({}));
      message.textContent = reply.error || ('Fehler ' + answer.status);
    }
  } catch (e) {
    message.textContent = 'Keine Verbindung zum Dienst.';
  } finally {
    $('loginButton').disabled = false;
  }
}

document.addEventListener('DOMContentLoaded', () => {
  $('loginForm').addEventListener('submit', login);
  $('cmdCreditPlus').addEventListener('click', () => creditClick('cmdCreditPlus', '/api/credit/add'));
  $('cmdCreditMinus').addEventListener('click', () => creditClick('cmdCreditMinus', '/api/credit/remove'));
  $('cmdPrevTitle').addEventListener('click', () => post('/api/previous'));
  $('cmdStop').addEventListener('click', () => post('/api/stop'));
  $('cmdNextTitle').addEventListener('click', () => post('/api/next'));
  $('cmdEnd').addEventListener('click', () => { $('confirmEnd').hidden = false; $('confirmNo').focus(); });
  $('confirmNo').addEventListener('click', () => { $('confirmEnd').hidden = true; });
  $('confirmYes').addEventListener('click', () => { $('confirmEnd').hidden = true; post('/api/quit'); });
  $('cmdLogout').addEventListener('click', logout);
  $('scrVol').addEventListener('input', volumeMoved);
  $('scrVol').addEventListener('change', volumeMoved);
  // The countdown to the next attempt moves on between pushes.
  setInterval(() => { if (current && current.link.phase !== 'connected') render(); }, 1000);
  start();
});

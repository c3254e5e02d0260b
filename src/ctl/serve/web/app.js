'use strict';
// The web remote's page: shows the jukebox's state as the service pushes it, says plainly what
// it knows and since when, and sends one request per action. What each control may do now comes
// with every push (allowed), so the jukebox's rules live in the service alone.

const kRetryMs = 2000; // the service's stream asks for the same pause (retry: 2000)

const $ = (id) => document.getElementById(id);
let current = null;       // the last pushed {state, link, allowed, timing}
let currentAt = 0;        // when it came, to count down to the next attempt
let stream = null;
let serviceLostAt = 0;    // when the page's own connection to the service broke; 0 while it stands
let serviceTries = 0;     // attempts since then
let jukeboxLostAt = 0;    // when this page saw the jukebox go; -1: it was gone when the page opened
let volumeTimer = null;   // running while a slider movement waits for its rest
const sending = new Set(); // actions whose request has not been answered yet

function linkText(link, state) {
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

function clock(ms) {
  return new Date(ms).toLocaleTimeString('de-DE', {hour: '2-digit', minute: '2-digit'}) + ' Uhr';
}

// One of: connected, connecting (the first attempt after the service started), jukebox (the
// jukebox gone), refused (it refuses the service's password), service (this page's own
// connection lost). Each shows the last values as old and turns the controls off.
function situation() {
  if (serviceLostAt) return 'service';
  if (!current) return 'connecting';
  if (current.link.phase === 'connected' && current.state.connected) return 'connected';
  if (current.link.phase === 'refused') return 'refused';
  if (current.link.phase === 'connecting' && !jukeboxLostAt) return 'connecting';
  return 'jukebox';
}

const kNotices = {
  connected: () => '',
  connecting: () => 'Die Fernbedienung meldet sich bei der Jukebox an.',
  refused: () => 'Die Jukebox lehnt das Passwort der Fernbedienung ab. Bitte die Passwortdatei auf dem ' +
    'Jukebox-Rechner prüfen.',
  jukebox: () => (jukeboxLostAt > 0 ? 'Jukebox seit ' + clock(jukeboxLostAt) + ' nicht erreichbar'
    : 'Jukebox schon beim Öffnen der Seite nicht erreichbar') + '; zu sehen ist der letzte bekannte Stand.',
  service: () => 'Der Dienst auf dem Jukebox-Rechner antwortet seit ' + clock(serviceLostAt) +
    ' nicht (Versuch ' + Math.max(1, serviceTries) + '); zu sehen ist der letzte bekannte Stand.',
};

function formatTime(seconds) {
  if (seconds === null || seconds === undefined) return '';
  const s = Math.max(0, Math.floor(seconds));
  return Math.floor(s / 60) + ':' + String(s % 60).padStart(2, '0');
}

const known = (value) => value !== null && value !== undefined;

function render() {
  const state = current ? current.state : {};
  const now = situation();
  const online = now === 'connected';
  document.body.dataset.state = now;
  $('lblStatus').textContent = now === 'service' ? 'Keine Verbindung zum Dienst – neuer Versuch …'
    : current ? linkText(current.link, state) : 'Es besteht keine Verbindung!';
  $('lblNotice').textContent = kNotices[now]();
  $('lblStale').hidden = online || !current || !state.title;

  let version = state.version || '';
  if (state.type) version += ' (' + state.type + ')';
  $('lblVersion').textContent = version;
  $('lblCredits').textContent = known(state.credits) ? String(state.credits) : '';

  // Without the service nothing can be sent, whatever it said last. A second tap before the
  // answer to the first would only be refused.
  const allowed = (current && !serviceLostAt && current.allowed) || {};
  for (const control of document.querySelectorAll('[data-action]')) {
    control.disabled = !allowed[control.dataset.action] || sending.has(control.dataset.action);
  }
  if ($('cmdEnd').disabled) $('confirmEnd').hidden = true;

  // While nothing is current, whether it plays is not known either.
  $('lblPlayState').textContent = !online ? '' : state.playing ? 'läuft' : state.playing === false ? 'gestoppt' : '';
  $('lblCurrentSong').textContent = state.title || (state.playing === false ? 'Kein Titel' : '-');
  const bar = $('ProgressBar1');
  const length = state.length || 0;
  bar.max = length > 0 ? length : 100;
  bar.value = known(state.position) && state.playing ? Math.min(state.position, bar.max) : 0;
  const timed = state.playing === true && length > 0;
  $('lblElapsed').textContent = timed ? formatTime(state.position) : '';
  $('lblLength').textContent = timed ? formatTime(length) : '';

  const slider = $('scrVol');
  // A movement waiting for its rest is not overwritten by the jukebox's report.
  if (volumeTimer === null && known(state.volume)) slider.value = state.volume;
  showVolume();
}

function showVolume() {
  const slider = $('scrVol');
  $('lblVolume').textContent = slider.value;
  slider.style.setProperty('--fill', slider.value + '%');
}

function onPush(next) {
  const wasOnline = current && situation() === 'connected';
  current = next;
  currentAt = Date.now();
  const online = situation() === 'connected';
  if (online) jukeboxLostAt = 0;
  else if (wasOnline) jukeboxLostAt = currentAt;
  else if (!jukeboxLostAt && next.link.phase !== 'connecting') jukeboxLostAt = -1;
  render();
}

async function post(action, body) {
  $('lblMessage').textContent = '';
  try {
    const answer = await fetch('api/' + action, {
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

function act(action) {
  sending.add(action);
  render();
  post(action).finally(() => {
    sending.delete(action);
    render();
  });
}

function volumeMoved() {
  showVolume();
  clearTimeout(volumeTimer);
  volumeTimer = setTimeout(() => {
    volumeTimer = null;
    post('volume', {volume: Number($('scrVol').value)}); // a drag may go on meanwhile
  }, current.timing.volumeRestMs);
}

function serviceLost() {
  if (!serviceLostAt) serviceLostAt = Date.now();
  ++serviceTries;
  render();
}

function openStream() {
  if (stream) stream.close();
  stream = new EventSource('api/events');
  stream.onmessage = (event) => {
    serviceLostAt = 0;
    serviceTries = 0;
    onPush(JSON.parse(event.data));
  };
  stream.onerror = () => {
    // Nothing can be sent meanwhile: the controls go off until the stream is back. The browser
    // tries again by itself unless the service refused the stream outright.
    serviceLost();
    if (stream.readyState === EventSource.CLOSED) {
      // Refused (the session ended, or the service restarted and forgot it) or gone: ask why.
      stream = null;
      setTimeout(start, kRetryMs);
    }
  };
}

// Why the service asks for the password (again): its own words, none on a first visit.
async function reasonOf(answer) {
  const reply = await answer.json().catch(() => ({}));
  return reply.reason && reply.reason !== 'none' ? reply.error : '';
}

function showView(view) {
  document.body.dataset.view = view;
  $('login').hidden = view !== 'login';
  $('panel').hidden = view !== 'panel';
  $('cmdMenu').hidden = view !== 'panel';
}

function showLogin(why) {
  if (stream) { stream.close(); stream = null; }
  closeMenu();
  serviceLostAt = 0;
  serviceTries = 0;
  showView('login');
  $('loginHeading').textContent = why ? 'Sitzung beendet' : 'Anmelden';
  $('loginMessage').textContent = why || '';
  $('password').focus();
}

function openMenu() {
  $('confirmEnd').hidden = true;
  $('menu').showModal();
}

function closeMenu() {
  $('confirmEnd').hidden = true;
  if ($('menu').open) $('menu').close();
}

async function logout() {
  try {
    const answer = await fetch('api/logout', {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: '{}',
      credentials: 'same-origin',
    });
    const reply = await answer.json().catch(() => ({}));
    showLogin(answer.ok ? reply.message : reply.error);
  } catch (e) {
    closeMenu();
    $('lblMessage').textContent = 'Keine Verbindung zum Dienst.';
  }
}

function showPanel() {
  showView('panel');
  render();
  openStream();
}

async function start() {
  try {
    const answer = await fetch('api/state', {credentials: 'same-origin', cache: 'no-store'});
    if (answer.status === 401) showLogin(await reasonOf(answer));
    else showPanel();
  } catch (e) {
    if (document.body.dataset.view === 'panel') serviceLost();
    else $('loginMessage').textContent = 'Keine Verbindung zum Dienst – neuer Versuch …';
    setTimeout(start, kRetryMs);
  }
}

async function login(event) {
  event.preventDefault();
  const message = $('loginMessage');
  message.textContent = '';
  $('loginButton').disabled = true;
  try {
    const answer = await fetch('api/login', {
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
  for (const button of document.querySelectorAll('button[data-action]')) {
    // Quitting is asked for first, in the menu.
    if (button.dataset.action !== 'quit') button.addEventListener('click', () => act(button.dataset.action));
  }
  $('cmdMenu').addEventListener('click', openMenu);
  $('cmdMenuClose').addEventListener('click', closeMenu);
  // A tap beside the sheet closes it, as on the phone's own menus.
  $('menu').addEventListener('click', (event) => { if (event.target === $('menu')) closeMenu(); });
  $('menu').addEventListener('close', () => { $('confirmEnd').hidden = true; });
  $('cmdEnd').addEventListener('click', () => { $('confirmEnd').hidden = false; $('confirmNo').focus(); });
  $('confirmNo').addEventListener('click', () => { $('confirmEnd').hidden = true; $('cmdEnd').focus(); });
  $('confirmYes').addEventListener('click', () => { closeMenu(); act('quit'); });
  $('cmdLogout').addEventListener('click', logout);
  $('scrVol').addEventListener('input', volumeMoved);
  $('scrVol').addEventListener('change', volumeMoved);
  // Countdowns and "since" texts move on between pushes.
  setInterval(() => { if (situation() !== 'connected') render(); }, 1000);
  start();
});

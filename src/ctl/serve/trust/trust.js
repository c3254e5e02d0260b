'use strict';
// Tells the user whether this phone already trusts the remote: only then does a request to its
// https address succeed (the answer itself stays unreadable here, which is enough).
(function () {
  const trusted = document.getElementById('trusted');
  if (location.protocol === 'https:') {
    trusted.hidden = false;
    return;
  }
  fetch('https://' + location.host + '/trust.css', { mode: 'no-cors', cache: 'no-store' })
    .then(function () { trusted.hidden = false; })
    .catch(function () {});
})();

onclick()
var parts = [location.protocol, location.host, location.hostname, location.port, location.pathname, location.search, location.hash];
location.hash = 'x' + parts.length;
document.title = parts.join('|');
window.status = String(frames.length) + navigator.userAgent;
if (frames.item(0) === null) location.hash = '';

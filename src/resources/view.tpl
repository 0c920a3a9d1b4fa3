<!doctype html>
<html>
<head>
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; img-src http: https: data:; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'">
<meta charset="utf-8">
<meta name="color-scheme" content="light">
<meta name="referrer" content="no-referrer">
<title>SL</title>
<style>
  :root {
    color-scheme: light;
    --page: #eef0f3;
    --card: #ffffff;
    --text: #1d2330;
    --muted: #5b6576;
    --rule: #d5dae1;
    --accent: #2f6fdb;
  }
  html, body { margin: 0; padding: 0; }
  body {
    background: var(--page);
    color: var(--text);
    font: 15px/1.5 system-ui, -apple-system, "noto sans", "dejavu sans", sans-serif;
  }
  .message { max-width: 52rem; margin: 0 auto; padding: 1.25rem 1rem 2rem; }
  .message-header {
    background: var(--card);
    border: 1px solid var(--rule);
    border-radius: 10px;
    padding: 1rem 1.25rem;
    margin-bottom: 1rem;
  }
  .subject {
    margin: 0 0 .6rem;
    font-size: 1.35rem;
    line-height: 1.3;
    font-weight: 600;
    overflow-wrap: anywhere;
  }
  .fields { border-collapse: collapse; font-size: .92rem; }
  .fields th {
    color: var(--muted);
    font-weight: 500;
    text-align: left;
    vertical-align: top;
    padding: .1rem 1rem .1rem 0;
    white-space: nowrap;
  }
  .fields td { padding: .1rem 0; overflow-wrap: anywhere; }
  .address { color: var(--accent); }
  /* Newsletters are written for a white page and often set only their text colour: a message
     that sets any colour keeps a light sheet in either theme. */
  .message-body {
    background: #ffffff;
    color: #1d2330;
    color-scheme: light;
    border: 1px solid var(--rule);
    border-radius: 10px;
    padding: 1.25rem;
    overflow-wrap: anywhere;
  }
  .message-body img { max-width: 100%; height: auto; }
  .message-body a { color: #1a5fd0; }
</style>
<!--if fit--><style>
  /* Newsletters are laid out for a fixed width: the body was rewritten so that its tables and
     cells may shrink; here pictures scale down to the column whatever their own styles say, and
     preformatted text wraps. */
  .message-body img, .message-body video {
    max-width: 100% !important;
    height: auto !important;
    box-sizing: border-box;
  }
  .message-body table { max-width: 100%; }
  .message-body pre { white-space: pre-wrap; }
  /* A narrow column keeps its width for the message. */
  @media (max-width: 640px) {
    .message { padding: .5rem .375rem 1rem; }
    .message-header, .message-body { padding: .75rem; border-radius: 6px; }
  }
</style><!--end fit-->
<!--if dark--><style>
  /* The desktop is dark: so is the page around the message. */
  :root {
    color-scheme: dark;
    --page: #16191f;
    --card: #20242c;
    --text: #e6e9ef;
    --muted: #9aa3b2;
    --rule: #343a46;
    --accent: #7aa7ff;
  }
</style><!--end dark-->
<!--if dark-body--><style>
  /* A message that chose no colours of its own reads in the desktop's. */
  .message-body { background: var(--card); color: var(--text); color-scheme: dark; }
  .message-body a { color: var(--accent); }
</style><!--end dark-body-->
</head>
<body>
<div class="message">
  <div class="message-header">
    <!--if subject--><h1 class="subject">SL</h1><!--end subject-->
    <table class="fields">
      <!--if from--><tr><th>From</th><td>FN<!--if from-address--><span class="address">&lt;FEML&gt;</span><!--end from-address--></td></tr><!--end from-->
      <!--if reply-to--><tr><th>Reply-to</th><td>RT<!--if reply-to-address--><span class="address">&lt;REML&gt;</span><!--end reply-to-address--></td></tr><!--end reply-to-->
      <!--if date--><tr><th>Date</th><td>DT</td></tr><!--end date-->
    </table>
  </div>
  <div class="message-body">
DESC
  </div>
</div>
</body>
</html>

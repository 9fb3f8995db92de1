delete from sessions where expires_at < now() or not exists (select 1 from users u where u.user_id = sessions.user_id)
